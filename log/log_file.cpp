// Configuration of the "default" logger: line format, standard output, and the hook through which
// each formatted line reaches the file the stub opened itself.
#include "log/log.h"

namespace cv {
namespace {

LogLineWriter writer = nullptr;

// The library calls this for every line it dispatches, after its own output.
class LineHandOver : public el::LogDispatchCallback {
 protected:
  void handle(const el::LogDispatchData* data) override {
    if (writer == nullptr || data->dispatchAction() != el::base::DispatchAction::NormalLog) return;
    const el::LogMessage* message = data->logMessage();
    writer(message->logger()->logBuilder()->build(message, false));
  }
};

constexpr char kHandOverName[] = "cv_log_file";

}  // namespace

void ConfigureLogLines(LogLineWriter lineWriter) {
  el::Configurations config;
  config.setToDefault();
  // Every real level, not the global pseudo-level, so each level carries the setting itself.
  for (const el::Level level : {el::Level::Trace, el::Level::Debug, el::Level::Fatal, el::Level::Error,
                                el::Level::Warning, el::Level::Verbose, el::Level::Info}) {
    config.set(level, el::ConfigurationType::Format, "%datetime %level %msg");
    // The library would open the file by its path and follow whatever link lies there.
    config.set(level, el::ConfigurationType::ToFile, "false");
    config.set(level, el::ConfigurationType::ToStandardOutput, "true");
  }
  if (el::Logger* logger = el::Loggers::getLogger("default", false)) {
    logger->configure(config);
  }
  writer = lineWriter;
  // Installed once: the library keeps one callback per name.
  el::Helpers::installLogDispatchCallback<LineHandOver>(kHandOverName);
}

}  // namespace cv
