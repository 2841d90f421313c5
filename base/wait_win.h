// Waiting on a handle from a thread that owns windows (COM's among them).
#pragma once

#include <windows.h>

namespace cv {

// Waits until `handle` is signalled (by default without a time limit) while the thread's windows
// keep answering: a program that broadcasts with SendMessage, or a platform service that reports
// through the thread's messages, would otherwise wait on this thread while it waits on them. Sent
// messages are answered inside PeekMessage; posted ones go to their windows. Should the wait itself
// fail, a plain wait still ends with the handle or the time limit.
inline void WaitAnsweringMessages(HANDLE handle, DWORD limitMs = INFINITE) {
  const ULONGLONG deadline = GetTickCount64() + limitMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (limitMs != INFINITE && now >= deadline) return;
    const DWORD left = limitMs == INFINITE ? INFINITE : static_cast<DWORD>(deadline - now);
    const DWORD woken = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0 || woken == WAIT_TIMEOUT) return;
    if (woken != WAIT_OBJECT_0 + 1) {
      WaitForSingleObject(handle, left);
      return;
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
}

}  // namespace cv
