// Process-wide values of the run. They live from process start to process end: the progress window
// thread and the download callback reach the dialog through them, and the outcome stage reads the
// mailslot and the shortcut setting.
#pragma once

#include <windows.h>

#include <atomic>

#include "src/win_handles.h"

namespace cv {

struct RunState {
  // The document's "shortcut" value: may a cancelled installation leave the resume shortcut?
  bool shortcutEnabled = false;
  // The named event "talmeni_halcyra", signalled when the mailslot read completes.
  UniqueHandle mailslotEvent;
  // The mailslot "\\.\mailslot\talmeni_halcyra" into which the installer posts its cancellation
  // message.
  UniqueHandle mailslotHandle;
  // The overlapped record of the one mailslot read; its event is mailslotEvent.
  OVERLAPPED mailslotRead{};
  // Maximum message size asked for at creation, then as the platform reports it.
  DWORD mailslotMaxMessageSize = 64;
  // The progress dialog and its bar, written once by the dialog thread when the dialog opens and
  // read by the main thread from the download callback.
  std::atomic<HWND> dialogWindow{nullptr};
  std::atomic<HWND> progressBar{nullptr};
  // Set by the main thread when the download has ended; a dialog that opens after that closes
  // itself at once.
  std::atomic<bool> downloadEnded{false};
};

extern RunState runState;

}  // namespace cv
