// The bench's Wine side: the run's prefix, its Xvfb display, running programs through the runner,
// pressing Enter on message boxes, and the stub's log.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <set>
#include <regex>
#include <stdexcept>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/e2e/bench/bench.h"
#include "tests/e2e/bench/spawn.h"

namespace cv::bench {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The loader of the Windows build the tests run (tools/wine-arch.sh chose both at configure time).
constexpr char kWineLoader[] = CV_WINE_LOADER;
constexpr char kBoxTitle[] = "We apologize!";
// How long the bench's wineserver stays after the last program in it has ended. Longer than any
// pause between two programs of one test; short enough that a server left behind by a bench that
// was killed goes away by itself.
constexpr int kServerLingerSeconds = 300;
// The runner's first line, written before it starts the program.
constexpr char kRunnerStartedLine[] = "runner: started";

std::string Utf8(const std::wstring& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<std::uint32_t>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// xdotool's --name takes a regular expression; the titles we look for hold dots and the like.
std::string ExactTitlePattern(const std::string& title) {
  std::string pattern = "^";
  for (const char c : title) {
    if (std::string("\\.^$|()[]{}*+?").find(c) != std::string::npos) pattern += '\\';
    pattern += c;
  }
  return pattern + "$";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string TempFolder() {
  char path[] = "/tmp/cv_bench_XXXXXX";
  if (mkdtemp(path) == nullptr) throw std::runtime_error("mkdtemp failed");
  return path;
}

}  // namespace

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::vector<std::string> StubEntriesInTemp(bool windowsTemp) {
  std::vector<std::string> names;
  std::error_code ignored;
  const std::string folder = windowsTemp ? Wine::Get().WindowsTempDir() : Wine::Get().TempDir();
  for (const auto& entry : fs::directory_iterator(folder, ignored)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("cv", 0) == 0) names.push_back(name);
  }
  return names;
}

std::vector<std::string> WithoutRemovals(std::vector<std::string> log) {
  const std::string installer = kInstallerPathPattern;
  const std::string reserved = installer.substr(0, installer.size() - 5);  // without "\.exe"
  const std::string folder = reserved.substr(0, reserved.rfind(R"(\\)") + 2);
  for (const std::string& removed : {folder, reserved, installer}) {
    const bool last = removed == installer;
    if (!log.empty() && std::regex_match(log.back(), std::regex("INFO \"" + removed + "\" deleted"))) {
      log.pop_back();
    } else if (!last) {
      ADD_FAILURE() << "no removal of " << removed << " at the end of the log";
    }
  }
  EXPECT_THAT(StubEntriesInTemp(), testing::IsEmpty());
  EXPECT_THAT(StubEntriesInTemp(true), testing::IsEmpty());
  return log;
}

std::string TestStubExe() { return std::string(CV_WINE_BUILD_DIR) + "/test-stub/cv_setup.exe"; }

std::string LegacyDllSearchStubExe() {
  return std::string(CV_WINE_BUILD_DIR) + "/test-stub-legacy-dll-search/cv_setup.exe";
}

std::string SignedTestStubExe() { return std::string(CV_WINE_BUILD_DIR) + "/test-stub-signed/cv_setup.exe"; }

std::string TestReleasePrivateKey() { return std::string(CV_SOURCE_DIR) + "/tests/e2e/keys/release-key.pem"; }

int Publish(const std::vector<std::string>& args) {
  std::vector<std::string> command = {CV_PUBLISH_EXE};
  command.insert(command.end(), args.begin(), args.end());
  return RunToEnd(command, {});
}

std::string WinTestProgram(const std::string& name) {
  return std::string(CV_WINE_BUILD_DIR) + "/tests/e2e/" + name + ".exe";
}

// ---- Wine ----------------------------------------------------------------------------------------

Wine& Wine::Get() {
  static Wine* wine = [] {
    auto* created = new Wine();
    std::atexit([] { delete &Wine::Get(); });
    return created;
  }();
  return *wine;
}

Wine::Wine() {
  const char* folder = std::getenv("CV_WINE_PREFIX");
  const std::string dir = folder != nullptr ? folder : CV_WINE_PREFIX;
  prefix_ = dir + "/prefix";
  home_ = dir + "/home";
  std::cerr << CV_WINE_CHOICE << "\n";
  if (RunToEnd({std::string(CV_SOURCE_DIR) + "/tools/wine-prefix.sh", "create", dir},
               {"PATH=/usr/bin:/bin", std::string("CV_WINE_ARCH=") + CV_WINE_ARCH,
                std::string("CV_WINE_LOADER_DIR=") + CV_WINE_LOADER_DIR},
               nullptr,
               std::chrono::minutes(5)) != 0) {
    throw std::runtime_error("cannot make the Wine prefix in " + dir);
  }
  for (const auto& entry : fs::directory_iterator(prefix_ + "/drive_c/users")) {
    if (entry.path().filename() != "Public") user_ = entry.path().filename();
  }

  // A private X display; Xvfb writes its number to the pipe once it accepts connections.
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  const std::string base = TempFolder();
  xvfbPid_ = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                   {"PATH=/usr/bin:/bin"}, base + "/xvfb.out", base + "/xvfb.err");
  close(fds[1]);
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (xvfbPid_ <= 0 || number.empty()) throw std::runtime_error("Xvfb did not start");
  display_ = ":" + number;

  env_ = {"PATH=/usr/bin:/bin", "WINEPREFIX=" + prefix_, "HOME=" + home_, "DISPLAY=" + display_,
          "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=d", "LANG=C.UTF-8",
          "USER=" + user_};
  fs::remove_all(base);
  // A server of an earlier test program (or of the unit tests run under Wine) may still be
  // shutting down.
  RestartServer();
}

Wine::~Wine() {
  RunToEnd({"wineserver", "-k"}, env_);
  if (xvfbPid_ > 0) {
    kill(xvfbPid_, SIGTERM);
    int status;
    Reap(xvfbPid_, &status, true);
  }
}

std::string Wine::Prefix() const { return prefix_; }
std::string Wine::UserDir() const { return prefix_ + "/drive_c/users/" + user_; }
std::string Wine::TempDir() const { return UserDir() + "/Temp"; }
std::string Wine::WindowsTempDir() const { return Prefix() + "/drive_c/windows/temp"; }
std::string Wine::DesktopDir() const { return UserDir() + "/Desktop"; }
std::string Wine::LogPath() const { return UserDir() + "/AppData/Roaming/Halcyra/CV.log"; }

std::string Wine::WindowsPath(const std::string& unixPath) const {
  const std::string driveC = prefix_ + "/drive_c";
  std::string path = unixPath.rfind(driveC, 0) == 0 ? "C:" + unixPath.substr(driveC.size()) : "Z:" + unixPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string Wine::UnixPath(const std::string& windowsPath) const {
  if (windowsPath.size() < 2 || windowsPath[1] != ':') return windowsPath;
  std::string rest = windowsPath.substr(2);
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  const char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0])));
  if (drive == 'C') return prefix_ + "/drive_c" + rest;
  return rest;
}

int Wine::Command(const std::vector<std::string>& args) {
  if (args.size() > 1 && args[0] == "reg" && args[1] == "add") registryChanged_ = true;
  EnsureServer();
  std::vector<std::string> command = {kWineLoader};
  command.insert(command.end(), args.begin(), args.end());
  return RunToEnd(command, env_);
}

void Wine::EnsureServer() {
  // A server that a Wine program starts for itself ends as soon as no program runs in it (Debian's
  // wineserver wrapper passes -p0), and a program started while it shuts down joins a dying
  // session: it ends at once without a word (the server closed its connection), or it waits
  // forever for an object the server took with it. The server the bench starts stays while the
  // tests run, and its session is booted (wineboot, services) before the first timed start.
  const int started = RunToEnd({"wineserver", "-p" + std::to_string(kServerLingerSeconds)}, env_);
  if (started == 2) return;  // the server runs already (it holds the prefix's lock)
  if (started != 0) throw std::runtime_error("cannot start the wineserver of " + prefix_);
  const int booted = RunToEnd({kWineLoader, "cmd", "/c", "exit"}, env_, nullptr, std::chrono::minutes(2));
  if (booted != 0) {
    throw std::runtime_error("the Wine session of " + prefix_ + " did not start (cmd ended with " +
                             std::to_string(booted) + ")");
  }
}

void Wine::RestartServer() {
  RunToEnd({"wineserver", "-k"}, env_);
  RunToEnd({"wineserver", "-w"}, env_);
  EnsureServer();
}

bool Wine::TestProgramsRun() const {
  // The session's own programs, which run as long as the server does and hold nothing of the stub's.
  static const std::set<std::string> kSession = {"services.exe", "explorer.exe", "winedevice.exe",
                                                 "plugplay.exe", "svchost.exe", "rpcss.exe"};
  const std::string prefixSetting = "WINEPREFIX=" + prefix_;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator("/proc", ignored)) {
    const std::string pid = entry.path().filename();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string environment = ReadFileBytes(entry.path() / "environ");
    std::replace(environment.begin(), environment.end(), '\0', '\n');
    const auto settings = Lines(environment);
    if (std::find(settings.begin(), settings.end(), prefixSetting) == settings.end()) continue;
    std::string program = ReadFileBytes(entry.path() / "cmdline");
    program = program.substr(0, program.find('\0'));
    std::transform(program.begin(), program.end(), program.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string name = program.substr(program.find_last_of("\\/") + 1);
    const bool sessionProgram = program.rfind("c:\\windows\\system32\\", 0) == 0 && kSession.count(name) > 0;
    if (!sessionProgram && name.rfind("wineserver", 0) != 0) return true;
  }
  return false;
}

void Wine::ResetState(bool freshSession) {
  // Whatever a previous test left running (an installer, a stub behind a box, a browser) would hold
  // the stub's named objects: then the server and everything in it starts anew. Otherwise the
  // booted session stays, which saves a wineserver's end and a session's boot per test.
  if (freshSession || TestProgramsRun()) {
    RestartServer();
  } else {
    EnsureServer();
  }
  std::error_code ignored;
  fs::remove_all(UserDir() + "/AppData/Roaming/Halcyra", ignored);
  for (const auto& folder : {DesktopDir(), TempDir()}) {
    for (const auto& entry : fs::directory_iterator(folder, ignored)) fs::remove_all(entry.path(), ignored);
  }
  // A working folder left by a run that did not end its own way (the shared Temp folder keeps the
  // platform's files, which stay).
  for (const std::string& name : StubEntriesInTemp(true)) fs::remove_all(WindowsTempDir() + "/" + name, ignored);
  if (!registryChanged_) return;
  registryChanged_ = false;
  const std::string internet = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  Command({"reg", "delete", internet + "\\Connections", "/v", "DefaultConnectionSettings", "/f"});
  Command({"reg", "delete", internet, "/v", "ProxyEnable", "/f"});
  Command({"reg", "delete", internet, "/v", "ProxyServer", "/f"});
}

RunResult Wine::Run(const std::string& exe, const std::wstring& commandLineTail, RunOptions options) {
  return Start(exe, commandLineTail, options)->Wait();
}

std::unique_ptr<Process> Wine::Start(const std::string& exe, const std::wstring& commandLineTail, RunOptions options) {
  EnsureServer();  // a test may have ended the server (a run past its time limit)
  return std::unique_ptr<Process>(new Process(*this, exe, commandLineTail, options));
}

// ---- Process -------------------------------------------------------------------------------------

struct Process::State {
  Wine* wine = nullptr;
  RunOptions options;
  std::string folder;
  std::string resultFile;
  pid_t pid = -1;
  bool ended = false;
  int status = -1;
  int dismissed = 0;
  std::set<std::string> pressed;  // X window ids of boxes already answered
  Clock::time_point deadline;
  std::vector<std::string> command, env;
  bool relaunched = false;

  void Launch() {
    WriteFileBytes(resultFile, "");
    ended = false;
    pid = Spawn(command, env, folder + "/stdout.txt", folder + "/stderr.txt");
    if (pid <= 0) throw std::runtime_error("cannot start wine");
  }
  // The runner writes its first line before it starts the program; a Wine start that ends
  // without it never ran the runner, so the program did not start either and may be started again.
  bool RunnerNeverStarted() const {
    const auto lines = Lines(ReadFileBytes(resultFile));
    return ended && (lines.empty() || lines.front() != kRunnerStartedLine);
  }
  // Ends the runner, the program and everything else running in the prefix.
  void Kill() {
    RunToEnd({"wineserver", "-k"}, wine->Environment());
    RunToEnd({"wineserver", "-w"}, wine->Environment());  // so that the next start finds no dying server
    kill(pid, SIGKILL);
    Reap(pid, &status, true);
    ended = true;
  }
  std::string EndDescription() const {
    return "status " + std::to_string(status) + ", stderr \"" + ReadFileBytes(folder + "/stderr.txt") + "\"";
  }

  std::vector<std::string> WindowIds(const std::string& title) const {
    std::string output;
    RunToEnd({"xdotool", "search", "--onlyvisible", "--name", ExactTitlePattern(title)}, wine->Environment(), &output,
             std::chrono::seconds(10));
    return Lines(output);
  }
  int BoxesRecorded() const {
    int count = 0;
    for (const auto& line : Lines(ReadFileBytes(resultFile))) count += line.rfind("box: ", 0) == 0 ? 1 : 0;
    return count;
  }
  bool PressEnterOnBox() {
    std::string id;
    for (const auto& candidate : WindowIds(kBoxTitle)) {
      if (!candidate.empty() && pressed.count(candidate) == 0) id = candidate;
    }
    if (id.empty()) return false;
    pressed.insert(id);
    // Let the runner read the box's text before it goes away (on a busy machine that can take a while).
    const auto patience = Clock::now() + std::chrono::seconds(15);
    while (BoxesRecorded() <= dismissed && Clock::now() < patience) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    RunToEnd({"xdotool", "key", "--window", id, "Return"}, wine->Environment(), nullptr, std::chrono::seconds(10));
    ++dismissed;
    return true;
  }
  // Reaps the runner once it has ended; a runner that never started is started once more (not when
  // the process is being discarded).
  void Poll(bool mayRelaunch = true) {
    if (!ended && Reap(pid, &status, false)) ended = true;
    if (mayRelaunch && RunnerNeverStarted() && !relaunched) {
      std::cerr << "bench: Wine ended before the runner started (" << EndDescription() << "); starting it again\n";
      relaunched = true;
      wine->EnsureServer();  // the session it tried to join may have gone away
      Launch();
    }
  }
};

Process::Process(Wine& wine, const std::string& exe, const std::wstring& commandLineTail, RunOptions options)
    : state_(std::make_unique<State>()) {
  state_->wine = &wine;
  state_->options = options;
  state_->folder = TempFolder();
  state_->resultFile = state_->folder + "/result.txt";
  const std::string tailFile = state_->folder + "/tail.txt";
  WriteFileBytes(tailFile, Utf8(commandLineTail));
  WriteFileBytes(state_->resultFile, "");
  state_->deadline = Clock::now() + options.timeout;
  state_->env = wine.Environment();
  if (!options.dllOverrides.empty()) {
    for (auto& entry : state_->env) {
      if (entry.rfind("WINEDLLOVERRIDES=", 0) == 0) entry += ";" + options.dllOverrides;
    }
  }
  state_->command = {kWineLoader, WinTestProgram("cv_run"), wine.WindowsPath(state_->resultFile),
                     wine.WindowsPath(exe), wine.WindowsPath(tailFile)};
  state_->Launch();
}

Process::~Process() {
  state_->Poll(false);
  if (!state_->ended) state_->Kill();
  std::error_code ignored;
  fs::remove_all(state_->folder, ignored);
}

bool Process::WaitForWindow(const std::string& title, std::chrono::milliseconds timeout) {
  const auto until = Clock::now() + timeout;
  while (Clock::now() < until) {
    const auto ids = state_->WindowIds(title);
    if (!ids.empty() && !ids.front().empty()) return true;
    state_->Poll();
    if (state_->ended) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

bool Process::DismissBox() { return state_->PressEnterOnBox(); }

RunResult Process::Wait() {
  RunResult result;
  bool timedOut = false;
  while (true) {
    state_->Poll();
    if (state_->ended) break;
    if (Clock::now() >= state_->deadline) {
      state_->Kill();
      timedOut = true;
      break;
    }
    if (state_->options.dismissBoxes) state_->PressEnterOnBox();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }
  result.boxesDismissed = state_->dismissed;
  for (const auto& line : Lines(ReadFileBytes(state_->resultFile))) {
    if (line.rfind("window: ", 0) == 0) result.windows.push_back(line.substr(8));
    if (line.rfind("box: ", 0) == 0) result.boxes.push_back(line.substr(5));
    if (line.rfind("exit: ", 0) == 0) {
      result.finished = true;
      result.exitCode = static_cast<std::uint32_t>(std::stoul(line.substr(6)));
    }
    if (line.rfind("error: ", 0) == 0) throw std::runtime_error("the runner could not start " + line);
  }
  if (!result.finished) {
    std::cerr << (timedOut ? "bench: the run passed its time limit and was ended ("
                           : "bench: the runner ended before the program did (")
              << state_->EndDescription() << ")\n";
  }
  return result;
}

// ---- Log -----------------------------------------------------------------------------------------

std::string LogBytes() { return ReadFileBytes(Wine::Get().LogPath()); }

std::vector<std::string> LogMessages() {
  std::vector<std::string> messages;
  for (const auto& line : Lines(LogBytes())) {
    // "<date> <time> <LEVEL> <message>"
    const auto first = line.find(' ');
    const auto second = first == std::string::npos ? first : line.find(' ', first + 1);
    messages.push_back(second == std::string::npos ? line : line.substr(second + 1));
  }
  return messages;
}

long long LogSpanMs(const std::string& from, const std::string& to) {
  long long start = -1;
  long long end = -1;
  for (const auto& line : Lines(LogBytes())) {
    int hours = 0, minutes = 0, seconds = 0, millis = 0, used = 0;
    // "<date> HH:MM:SS,mmm <LEVEL> <message>"
    if (std::sscanf(line.c_str(), "%*d-%*d-%*d %d:%d:%d,%d %n", &hours, &minutes, &seconds, &millis, &used) < 4 ||
        used == 0) {
      continue;
    }
    const long long at = ((hours * 60LL + minutes) * 60 + seconds) * 1000 + millis;
    const std::string message = line.substr(static_cast<std::size_t>(used));
    if (start < 0 && message == from) start = at;
    if (end < 0 && message == to) end = at;
  }
  if (start < 0 || end < 0) return -1;
  constexpr long long kDayMs = 86400000LL;
  return (end - start + kDayMs) % kDayMs;
}

}  // namespace cv::bench
