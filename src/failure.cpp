// Message box texts of the run's failures.
#include "src/failure.h"

namespace cv {

const wchar_t* FailureMessage(FailureCode code) {
  switch (code) {
    case FailureCode::ConfigDownloadFailed: return L"Cannot obtain configuration. Error code 1";
    case FailureCode::ConfigParseFailed: return L"Cannot obtain configuration. Error code 3";
    case FailureCode::InstallerDownloadFailed: return L"Cannot obtain installer. Error code 4";
    case FailureCode::InstallerReadFailed: return L"Cannot obtain installer. Error code 5";
    case FailureCode::InstallerCorrupted: return L"The installation file is corrupted. Error code 6";
    case FailureCode::EventCreateFailed: return L"Failed to create communication event. Error code 7";
    case FailureCode::MailslotCreateFailed: return L"Failed to create communication slot. Error code 8";
    case FailureCode::InstallerLaunchFailed: return L"Cannot start the installer. Error code 9";
    case FailureCode::ConfigSignatureFailed: return L"Cannot verify configuration. Error code 10";
  }
  return L"";
}

}  // namespace cv
