// The demo: the story of one signed release. It serves the folder that publish made (cv.json, its
// signature and the installer) on the loopback address the demo stub was built for, runs the stub
// under Wine, takes a screenshot of the progress window, and prints what happened: the published
// document, the requests, the analytics hits, the stub's log and its exit value. With --cancel the
// installer reports a cancellation, and the shortcut and the cancellation page join the story.
//   cv_demo [--cancel] <demo stub.exe> <demo folder holding site/>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "tests/e2e/bench/bench.h"
#include "tests/e2e/bench/spawn.h"

namespace {

namespace fs = std::filesystem;
using namespace cv::bench;

constexpr char kWindowTitle[] = "Downloading PMX Installer...";
constexpr char kBrowsersKey[] = "HKCU\\Software\\Wine\\WineBrowser";
// The installer's bytes are spread over this long, so that the progress window can be seen.
constexpr auto kInstallerServeTime = std::chrono::milliseconds(3000);
constexpr int kInstallerPieces = 20;

// Serves every file of `site` at its name; the .exe files slowly.
void ServeFolder(HttpServer& server, const fs::path& site) {
  server.server().Get(R"(/([A-Za-z0-9_.-]+))", [site](const httplib::Request& request, httplib::Response& response) {
    const fs::path file = site / request.matches[1].str();
    if (!fs::is_regular_file(file)) {
      response.status = 404;
      return;
    }
    const auto bytes = std::make_shared<std::string>(ReadFileBytes(file.string()));
    if (file.extension() != ".exe") {
      response.set_content(*bytes, file.extension() == ".json" ? "application/json" : "text/plain");
      return;
    }
    const std::size_t piece = bytes->size() / kInstallerPieces + 1;
    response.set_content_provider(bytes->size(), "application/octet-stream",
                                  [bytes, piece](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                    std::this_thread::sleep_for(kInstallerServeTime / kInstallerPieces);
                                    return sink.write(bytes->data() + offset, std::min(length, piece));
                                  });
  });
}

void PrintRequests(const char* title, const HttpServer& server) {
  std::cout << title << ":\n";
  const auto requests = server.Requests();
  if (requests.empty()) std::cout << "  none\n";
  for (const auto& request : requests) std::cout << "  " << request.method << " " << request.target << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  const bool cancel = argc > 1 && std::string(argv[1]) == "--cancel";
  if (argc != (cancel ? 4 : 3)) {
    std::cerr << "usage: cv_demo [--cancel] <demo stub.exe> <demo folder holding site/>\n";
    return 2;
  }
  const std::string stub = argv[cancel ? 2 : 1];
  const fs::path folder = fs::absolute(argv[cancel ? 3 : 2]);
  const fs::path site = folder / "site";

  std::cout << "Published release (" << site.string() << "):\n"
            << "cv.json:\n" << ReadFileBytes((site / "cv.json").string())
            << "cv.json.sig:\n  " << ReadFileBytes((site / "cv.json.sig").string()) << "\n";

  auto distribution = HttpServer::Plain(kConfigPort);
  ServeFolder(*distribution, site);
  auto analytics = HttpServer::Tls(kAnalyticsPort);
  analytics->server().Get("/collect", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("ok", "text/plain");
  });

  Wine& wine = Wine::Get();
  wine.ResetState();
  // The browser that Wine starts for the cancellation page writes the address into a file.
  const fs::path pageFile = folder / "opened-page.txt";
  const fs::path browser = folder / "browser.sh";
  fs::remove(pageFile);
  WriteFileBytes(browser.string(), "#!/bin/sh\nprintf '%s\\n' \"$1\" > '" + pageFile.string() + "'\n");
  fs::permissions(browser, fs::perms::owner_all);
  if (cancel) wine.Command({"reg", "add", kBrowsersKey, "/v", "Browsers", "/d", browser.string(), "/f"});

  std::cout << "Running " << stub << (cancel ? " (the installer will be cancelled)" : "") << " under Wine...\n";
  auto process = wine.Start(stub, cancel ? L"-cancel" : L"-exit 0");
  const fs::path screenshot = folder / (cancel ? "progress-window-cancel.png" : "progress-window.png");
  fs::remove(screenshot);
  if (process->WaitForWindow(kWindowTitle, std::chrono::seconds(30))) {
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    RunToEnd({"sh", "-c", "xwd -root -silent | convert xwd:- '" + screenshot.string() + "'"}, wine.Environment());
  }
  const RunResult run = process->Wait();
  if (cancel) {
    // The page opens on its own after the stub has asked for it.
    for (int i = 0; i < 50 && !fs::exists(pageFile); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    wine.Command({"reg", "delete", kBrowsersKey, "/v", "Browsers", "/f"});
  }

  std::cout << "\n";
  PrintRequests("Requests seen by the distribution server", *distribution);
  PrintRequests("Analytics hits", *analytics);
  for (const auto& box : run.boxes) std::cout << "Message box: " << box << "\n";
  if (cancel) {
    const fs::path shortcut = fs::path(wine.DesktopDir()) / "Continue installation.lnk";
    std::cout << "Desktop shortcut: " << (fs::exists(shortcut) ? shortcut.string() : "none") << "\n"
              << "Page opened: " << (fs::exists(pageFile) ? ReadFileBytes(pageFile.string()) : "none\n");
  }
  std::cout << "Screenshot of the progress window: "
            << (fs::exists(screenshot) ? screenshot.string() : "none (the window was not seen)") << "\n";
  std::cout << "\nLog (" << wine.LogPath() << "):\n";
  for (const auto& line : LogMessages()) std::cout << "  " << line << "\n";
  if (!run.finished) {
    std::cout << "\nThe stub did not finish in time.\n";
    return 1;
  }
  std::cout << "\nExit value: " << run.exitCode << "\n";
  return 0;
}
