// Test runner: starts a Windows program with an exact command line, records every top-level window it
// shows (and the text of each "We apologize!" box) while it runs, then its full 32-bit exit value.
//   cv_run.exe <result file> <program> <file holding the command-line tail, UTF-8>
// Result lines (UTF-8): first "runner: started" (before the program starts, so the bench can tell a
// runner that never ran from one that ended early), then "window: <title>|<class>", "box: <text>",
// and last "exit: <code>" or "error: <code>".
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

std::string ReadFileBytes(const wchar_t* path) {
  std::string bytes;
  FILE* file = _wfopen(path, L"rb");
  if (file == nullptr) return bytes;
  char buffer[4096];
  size_t count;
  while ((count = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, count);
  fclose(file);
  return bytes;
}

std::wstring WindowText(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

struct Watch {
  DWORD processId;
  FILE* out;
  std::set<std::pair<HWND, std::wstring>> seen;  // a window is recorded again when its title changes
};

BOOL CALLBACK CollectStaticText(HWND child, LPARAM param) {
  wchar_t className[64] = {};
  GetClassNameW(child, className, 64);
  const std::wstring text = WindowText(child);
  if (lstrcmpiW(className, L"Static") == 0 && !text.empty()) {
    auto* texts = reinterpret_cast<std::vector<std::wstring>*>(param);
    texts->push_back(text);
  }
  return TRUE;
}

BOOL CALLBACK RecordWindow(HWND window, LPARAM param) {
  auto* watch = reinterpret_cast<Watch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  // A dialog is complete (title, controls) once it is shown.
  if (pid != watch->processId || !IsWindowVisible(window)) return TRUE;
  const std::wstring title = WindowText(window);
  if (!watch->seen.insert({window, title}).second) return TRUE;
  wchar_t className[128] = {};
  GetClassNameW(window, className, 128);
  fprintf(watch->out, "window: %s|%s\n", Utf8(title).c_str(), Utf8(className).c_str());
  if (title == L"We apologize!") {
    std::vector<std::wstring> texts;
    EnumChildWindows(window, CollectStaticText, reinterpret_cast<LPARAM>(&texts));
    std::wstring joined;
    for (const auto& text : texts) joined += (joined.empty() ? L"" : L" / ") + text;
    fprintf(watch->out, "box: %s\n", Utf8(joined).c_str());
  }
  fflush(watch->out);
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: cv_run <result file> <program> <command-line tail file>\n");
    return 2;
  }
  FILE* out = _wfopen(argv[1], L"w");
  if (out == nullptr) return 2;
  fprintf(out, "runner: started\n");
  fflush(out);

  const std::wstring tail = Wide(ReadFileBytes(argv[3]));
  std::wstring commandLine = L"\"" + std::wstring(argv[2]) + L"\"";
  if (!tail.empty()) commandLine += L" " + tail;
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(argv[2], buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    fprintf(out, "error: %lu\n", GetLastError());
    fclose(out);
    return 1;
  }
  CloseHandle(process.hThread);

  Watch watch{process.dwProcessId, out, {}};
  while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
    EnumWindows(RecordWindow, reinterpret_cast<LPARAM>(&watch));
  }
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  fprintf(out, "exit: %lu\n", exitCode);
  fclose(out);
  return 0;
}
