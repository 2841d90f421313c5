// Configuration of the "default" logger: line format, file, standard output.
#include "log/log.h"

namespace cv {

void ConfigureLogFile(const std::string& path) {
  el::Configurations config;
  config.setToDefault();
  // Every real level, not the global pseudo-level, so each level carries the setting itself.
  for (const el::Level level : {el::Level::Trace, el::Level::Debug, el::Level::Fatal, el::Level::Error,
                                el::Level::Warning, el::Level::Verbose, el::Level::Info}) {
    config.set(level, el::ConfigurationType::Format, "%datetime %level %msg");
    if (path.empty()) {
      config.set(level, el::ConfigurationType::ToFile, "false");
    } else {
      config.set(level, el::ConfigurationType::Filename, path);
    }
    config.set(level, el::ConfigurationType::ToStandardOutput, "true");
  }
  if (el::Logger* logger = el::Loggers::getLogger("default", false)) {
    logger->configure(config);
  }
}

}  // namespace cv
