// The Wine bench: runs the Windows build of the stub (and the Windows test programs) under Wine with a
// private prefix and a private X display, presses Enter on message boxes the way a user would, reads
// the stub's log from the prefix, and serves HTTP and HTTPS on loopback for the programs it runs.
//
// The Windows build it runs is the one tools/wine-arch.sh chose at configure time (CV_WINE_ARCH), and
// that build's Wine loader runs every program. One prefix, made for that build, serves a whole test
// run (ctest's wine_prefix fixture makes it, CV_WINE_PREFIX names it); every test binary that uses it
// holds ctest's "wine" lock, so no two runs overlap in it. The stub's named objects live in that
// prefix's wineserver, so tests in a binary run one after another too.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace cv::bench {

// ---- The programs under test -------------------------------------------------------------------

// The stub built with the loopback settings: configuration at http://127.0.0.1:kConfigPort/cv.json,
// analytics at https://127.0.0.1:kAnalyticsPort, web site http://127.0.0.1:47181, id kTrackingId.
std::string TestStubExe();
// The same test stub acting as on a system without SetDefaultDllDirectories.
std::string LegacyDllSearchStubExe();
// The same stub built with the test release key (tests/e2e/keys): it takes only signed documents.
std::string SignedTestStubExe();
// The private half of that key, with which Publish signs the tests' releases.
std::string TestReleasePrivateKey();
// A Windows test program of tests/e2e/win (name without ".exe").
std::string WinTestProgram(const std::string& name);
// Runs the release tool publish (native) with these arguments; its exit status.
int Publish(const std::vector<std::string>& args);
constexpr int kConfigPort = 47180;
constexpr int kAnalyticsPort = 47443;
constexpr char kSiteUrl[] = "http://127.0.0.1:47181";
constexpr char kTrackingId[] = "UA-12345678-9";

// ---- Running programs under Wine ---------------------------------------------------------------

struct RunOptions {
  std::chrono::milliseconds timeout{60000};
  // Press Enter on every "We apologize!" box (after its text has been recorded).
  bool dismissBoxes = true;
  // Added to WINEDLLOVERRIDES for this run, e.g. "winhttp=n,b" to let Wine load such a DLL from the
  // program's folder, as Windows would.
  std::string dllOverrides;
};

struct RunResult {
  bool finished = false;           // false: the time limit ran out and the program was killed
  std::uint32_t exitCode = 0;      // the full 32-bit exit value, as GetExitCodeProcess reports it
  std::vector<std::string> boxes;  // text of each "We apologize!" box shown, in order
  int boxesDismissed = 0;          // boxes on which the bench pressed Enter
  // Each top-level window of the program seen while it ran: "<title>|<class>" (UTF-8).
  std::vector<std::string> windows;
};

class Wine;

// A program started under Wine through the bench's runner, which records its windows and its exit
// value. The program runs until Wait() returns or the object ends (then it is killed).
class Process {
 public:
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Waits until a window with this exact title exists (xdotool search --name); false on time-out.
  bool WaitForWindow(const std::string& title, std::chrono::milliseconds timeout);
  // Presses Enter on the "We apologize!" box now shown; false when there is none.
  bool DismissBox();
  // Waits for the end, pressing Enter on boxes when the options say so, and collects the result.
  RunResult Wait();

 private:
  friend class Wine;
  Process(Wine& wine, const std::string& exe, const std::wstring& commandLineTail, RunOptions options);
  struct State;
  std::unique_ptr<State> state_;
};

class Wine {
 public:
  // The prefix of this test run, with its own Xvfb display, started on first use.
  static Wine& Get();

  // Runs `exe` (a Linux path of a Windows program) with the command line `"<exe>" <commandLineTail>`
  // (the tail given exactly, any length) and waits for it.
  RunResult Run(const std::string& exe, const std::wstring& commandLineTail = L"",
                RunOptions options = {});
  // Starts it and returns at once.
  std::unique_ptr<Process> Start(const std::string& exe, const std::wstring& commandLineTail = L"",
                                 RunOptions options = {});

  // Runs a Wine command such as {"reg", "add", ...} to its end; returns its (8-bit) exit status.
  int Command(const std::vector<std::string>& args);

  // Removes what a run of the stub leaves behind: the log, desktop shortcuts, the temporary folder's
  // contents, registry values set through Command({"reg", "add", ...}) (the proxy settings), and any
  // program still running in the prefix (its wineserver is then started anew).
  // `freshSession`: the server and the session start anew in any case, for tests whose servers
  // misbehave on purpose: the connections a stub left behind then go with the session.
  void ResetState(bool freshSession = false);

  std::string Prefix() const;      // WINEPREFIX
  std::string UserDir() const;     // .../drive_c/users/<user>
  std::string TempDir() const;     // Linux path of C:\users\<user>\Temp
  std::string WindowsTempDir() const;  // Linux path of C:\windows\Temp, where the working folder lies
  std::string DesktopDir() const;  // Linux path of the user's desktop folder
  std::string LogPath() const;     // Linux path of ...\AppData\Roaming\Halcyra\CV.log
  // C:\... or Z:\... path of a Linux path, and the Linux path of a Windows path on C: or Z:.
  std::string WindowsPath(const std::string& unixPath) const;
  std::string UnixPath(const std::string& windowsPath) const;

  // Environment for child processes: WINEPREFIX, HOME, DISPLAY, WINEDEBUG=-all, ...
  const std::vector<std::string>& Environment() const { return env_; }
  const std::string& Display() const { return display_; }

 private:
  friend class Process;
  Wine();
  ~Wine();
  // Starts the prefix's wineserver, one that stays between programs, and boots its session, unless
  // it runs already.
  void EnsureServer();
  // Ends the wineserver and every program in the prefix, and starts it anew.
  void RestartServer();
  // True while a program other than the server and its session's services runs in the prefix.
  bool TestProgramsRun() const;
  std::string prefix_, home_, display_, user_;
  std::vector<std::string> env_;
  int xvfbPid_ = -1;
  bool registryChanged_ = false;  // a test set registry values that ResetState must remove
};

// ---- The stub's log ----------------------------------------------------------------------------

// The log's lines without their date and time: "INFO Halcyra wrapper started". Empty when no log.
std::vector<std::string> LogMessages();
// The raw bytes of the log file.
std::string LogBytes();
// Milliseconds between the first log lines whose "<LEVEL> <message>" are `from` and `to`, by their
// time stamps (a span across midnight included); -1 when either line is missing.
long long LogSpanMs(const std::string& from, const std::string& to);

// ---- Files and texts of the tests -------------------------------------------------------------

std::string ReadFileBytes(const std::string& path);  // empty when the file cannot be read
void WriteFileBytes(const std::string& path, const std::string& bytes);
// An ASCII text as a wide text (command-line tails of the programs run under Wine).
std::wstring Widen(const std::string& ascii);

// The installer's path as log lines give it: a file cv<hex>.tmp.exe in the stub's own folder
// cv<16 hex digits> below the Windows directory's Temp folder (a regular expression).
constexpr char kInstallerPathPattern[] = R"(C:\\windows\\Temp\\cv[0-9a-f]{16}\\cv[0-9a-fA-F]+\.tmp\.exe)";
// Names of what the stub left in the user's temporary folder (the self-copy cv_setup.exe after a
// cancellation) or, with `windowsTemp`, in the Windows directory's Temp folder (its working folder):
// entries whose names begin with "cv".
std::vector<std::string> StubEntriesInTemp(bool windowsTemp = false);
// A failed run's log without the lines at its end by which the stub says what it removed: what the
// download wrote (if anything), the reserved name and its folder. Fails the test when the reserved
// name's or the folder's line is missing, or when anything of the stub's is left in either Temp folder.
std::vector<std::string> WithoutRemovals(std::vector<std::string> log);

// ---- Loopback servers --------------------------------------------------------------------------

struct RecordedRequest {
  std::string method;
  std::string target;  // path and query as sent
  std::multimap<std::string, std::string> headers;
  std::string body;  // once the server has answered
};

// A cpp-httplib server on 127.0.0.1 running on a thread of its own; every request is recorded.
class HttpServer {
 public:
  // Plain HTTP. Port 0 picks a free one.
  static std::unique_ptr<HttpServer> Plain(int port = 0);
  // HTTPS with a self-signed certificate for `certName` (not 127.0.0.1), made at test time.
  static std::unique_ptr<HttpServer> Tls(int port = 0, const std::string& certName = "wrong.example");
  // HTTPS with a certificate for 127.0.0.1 issued by the bench's own authority (made at test time),
  // which the Wine prefix trusts as a root while the server lives: a program that checks the
  // certificate accepts it.
  static std::unique_ptr<HttpServer> TrustedTls(int port = 0);
  ~HttpServer();

  // Handlers are added before or after Start(); cpp-httplib's own API.
  httplib::Server& server() { return *server_; }
  int port() const { return port_; }
  std::string Url(const std::string& path) const;  // http(s)://127.0.0.1:<port><path>
  std::vector<RecordedRequest> Requests() const;

 private:
  HttpServer(std::unique_ptr<httplib::Server> server, bool tls, int port);
  std::unique_ptr<httplib::Server> server_;
  bool tls_;
  int port_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
  // The record of each request that is being answered, by the request object's address.
  std::map<const httplib::Request*, std::size_t> answering_;
  std::string trustedRootKey_;  // the prefix's registry key of the trusted authority, if any
};

}  // namespace cv::bench
