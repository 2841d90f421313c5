// Waiting on a handle from a thread that owns windows (COM's among them).
#pragma once

#include <windows.h>

namespace cv {

// Waits without a time limit until `handle` is signalled while the thread's windows keep answering:
// a program that broadcasts with SendMessage, or a platform service that reports through the
// thread's messages, would otherwise wait on this thread while it waits on them. Sent messages are
// answered inside PeekMessage; posted ones go to their windows. Should the wait itself fail, a plain
// wait still ends with the handle.
inline void WaitAnsweringMessages(HANDLE handle) {
  for (;;) {
    const DWORD woken = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0) return;
    if (woken != WAIT_OBJECT_0 + 1) {
      WaitForSingleObject(handle, INFINITE);
      return;
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
}

}  // namespace cv
