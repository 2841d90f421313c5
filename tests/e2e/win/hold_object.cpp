// Test helper: takes a name that the stub needs, so that the stub's creation of it fails.
//   hold_object.exe mailslot|mutex <name> <ready file> <seconds>
// Creates the object, writes the ready file, and keeps the object for the given time.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) return 2;
  HANDLE object = nullptr;
  if (wcscmp(argv[1], L"mailslot") == 0) {
    object = CreateMailslotW(argv[2], 64, MAILSLOT_WAIT_FOREVER, nullptr);
    if (object == INVALID_HANDLE_VALUE) object = nullptr;
  } else if (wcscmp(argv[1], L"mutex") == 0) {
    object = CreateMutexW(nullptr, FALSE, argv[2]);
  }
  if (object == nullptr) return 1;
  FILE* ready = _wfopen(argv[3], L"w");
  if (ready == nullptr) return 1;
  fclose(ready);
  Sleep(static_cast<DWORD>(_wtoi(argv[4])) * 1000);
  CloseHandle(object);
  return 0;
}
