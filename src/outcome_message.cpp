// Reading the installer's cancellation message from the run's mailslot, bounded in time so that an
// installer that posts nothing cannot hold the stub forever.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "log/log.h"
#include "src/outcome_text.h"
#include "src/outcome_win.h"
#include "src/run_state.h"

namespace cv {
namespace {

// The installer posts before it ends, so the message is normally there at once; the grace period
// covers a message posted by a helper process of the installer a little later.
constexpr DWORD kMessageWaitMs = 5000;
constexpr DWORD kPollMs = 50;

// Size of the next message in the slot, once one is there within the grace period. A read is only
// started then: a read of an empty slot would wait for a message without end.
bool WaitForMessage(HANDLE slot, DWORD& size) {
  const ULONGLONG deadline = GetTickCount64() + kMessageWaitMs;
  for (;;) {
    DWORD next = MAILSLOT_NO_MESSAGE;
    if (!GetMailslotInfo(slot, nullptr, &next, nullptr, nullptr)) return false;
    if (next != MAILSLOT_NO_MESSAGE) {
      size = next;
      return true;
    }
    if (GetTickCount64() >= deadline) return false;
    Sleep(kPollMs);
  }
}

// Waits until the read has completed or the time is up. The event can also be set by another
// process that opened it by name, so completion is checked on the record itself.
bool WaitForRead(OVERLAPPED& read) {
  const ULONGLONG deadline = GetTickCount64() + kMessageWaitMs;
  while (!HasOverlappedIoCompleted(&read)) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    WaitForSingleObject(read.hEvent, static_cast<DWORD>(deadline - now));
  }
  return true;
}

}  // namespace

std::wstring ReadCancelMessage() {
  const HANDLE slot = runState.mailslotHandle.get();
  OVERLAPPED& read = runState.mailslotRead;

  bool received = false;
  DWORD count = 0;
  DWORD size = 0;
  // The buffer takes the whole message, however long, so that it leaves the slot in one read; only
  // its first bytes are kept.
  std::vector<char> buffer;
  if (WaitForMessage(slot, size)) {
    buffer.assign(std::max<std::size_t>(size, kMaxCancelMessageBytes + 1), '\0');
    if (ReadFile(slot, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &read) ||
        GetLastError() == ERROR_IO_PENDING) {
      // The read must be over before its buffer goes away.
      if (!WaitForRead(read)) CancelIo(slot);
      received = GetOverlappedResult(slot, &read, &count, TRUE) != FALSE;
    }
  }
  if (!received) {
    LOG(WARNING) << "No cancellation message from installer";
    return std::wstring();
  }
  return CancelMessageFromBytes(buffer.data(), std::min<std::size_t>(count, buffer.size()));
}

}  // namespace cv
