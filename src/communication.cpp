// The named event and mailslot through which a cancelled installer reports back to the stub.
#include "log/log.h"
#include "src/run_state.h"
#include "src/stages.h"

namespace cv {

StageResult OpenCommunicationObjects() {
  runState.mailslotEvent.reset(CreateEventW(nullptr, FALSE, FALSE, L"talmeni_halcyra"));
  if (!runState.mailslotEvent) {
    return Failure{FailureCode::EventCreateFailed,
                   "CreateEvent failed with error code " + std::to_string(GetLastError())};
  }
  runState.mailslotRead = OVERLAPPED{};
  runState.mailslotRead.hEvent = runState.mailslotEvent.get();

  runState.mailslotHandle.reset(CreateMailslotW(L"\\\\.\\mailslot\\talmeni_halcyra",
                                                runState.mailslotMaxMessageSize,
                                                MAILSLOT_WAIT_FOREVER, nullptr));
  if (!runState.mailslotHandle) {
    return Failure{FailureCode::MailslotCreateFailed,
                   "CreateMailslot failed with error code " + std::to_string(GetLastError())};
  }
  LOG(INFO) << "Mailslot created successfully";

  if (!GetMailslotInfo(runState.mailslotHandle.get(), &runState.mailslotMaxMessageSize, nullptr,
                       nullptr, nullptr)) {
    LOG(WARNING) << "GetMailslotInfo failed with error code " << GetLastError();
  }
  return std::nullopt;
}

}  // namespace cv
