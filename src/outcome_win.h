// The Windows side of the outcome handling, shared by the launch (outcome.cpp), the three outcome
// handlers (outcome_handlers.cpp) and the mailslot read (outcome_message.cpp).
#pragma once

#include <windows.h>

#include <string>

namespace cv {

// What every outcome handler needs to know about the run.
struct InstallerRun {
  std::wstring installId;  // the "-id" value, also the analytics client id
  std::wstring version;    // the document's "version"
  DWORD exitCode = 0;      // the installer's exit code
};

// Exit code 0: removes a continuation shortcut that an earlier cancelled run left.
void HandleSuccess();
// Exit code 2 or 5: the message, the "Canceled" hit, the cancellation page, the self-copy and the
// shortcut (when enabled and not running as the copy already).
void HandleCancellation(const InstallerRun& run);
// Any other exit code: the "Failed" hit.
void HandleFailure(const InstallerRun& run);

// The cancellation message the installer posted into the mailslot. Waits a few seconds at most; an
// empty text (and a WARNING line) when none came.
std::wstring ReadCancelMessage();

}  // namespace cv
