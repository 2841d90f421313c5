// The named event and mailslot through which a cancelled installer reports back to the stub.
#include "log/log.h"
#include "src/stages.h"

namespace cv {

StageResult OpenCommunicationObjects(RunState& state) {
  state.mailslotEvent.reset(CreateEventW(nullptr, FALSE, FALSE, L"talmeni_halcyra"));
  if (!state.mailslotEvent) {
    return Failure{FailureCode::EventCreateFailed,
                   "CreateEvent failed with error code " + std::to_string(GetLastError())};
  }
  state.mailslotRead = OVERLAPPED{};
  state.mailslotRead.hEvent = state.mailslotEvent.get();

  state.mailslotHandle.reset(CreateMailslotW(L"\\\\.\\mailslot\\talmeni_halcyra", state.mailslotMaxMessageSize,
                                             MAILSLOT_WAIT_FOREVER, nullptr));
  if (!state.mailslotHandle) {
    return Failure{FailureCode::MailslotCreateFailed,
                   "CreateMailslot failed with error code " + std::to_string(GetLastError())};
  }
  LOG(INFO) << "Mailslot created successfully";

  if (!GetMailslotInfo(state.mailslotHandle.get(), &state.mailslotMaxMessageSize, nullptr, nullptr, nullptr)) {
    LOG(WARNING) << "GetMailslotInfo failed with error code " << GetLastError();
  }
  return std::nullopt;
}

}  // namespace cv
