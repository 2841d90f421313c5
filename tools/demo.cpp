// The demo: publishes a configuration document and the sample installer on loopback servers, runs
// the stub (built with loopback settings) under Wine, and prints what happened: the requests the
// servers saw, the stub's log and its exit value.
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tests/e2e/bench/bench.h"

int main(int argc, char** argv) {
  using namespace cv::bench;
  const std::string installerPath = argc > 1 ? argv[1] : "";
  std::ifstream in(installerPath, std::ios::binary);
  if (!in) {
    std::cerr << "usage: cv_demo <sample_installer.exe>\n";
    return 2;
  }
  std::stringstream bytes;
  bytes << in.rdbuf();
  const std::string installer = bytes.str();
  const unsigned long crc = crc32(0L, reinterpret_cast<const Bytef*>(installer.data()),
                                  static_cast<uInt>(installer.size()));

  auto distribution = HttpServer::Plain(kConfigPort);
  const std::string document = "{\"shortcut\": true, \"wrapper\": \"" + distribution->Url("/files/corvida_setup.exe") +
                               "\", \"checksum\": " + std::to_string(crc) + ", \"version\": \"1.0.0\"}";
  distribution->server().Get("/cv.json", [&](const httplib::Request&, httplib::Response& response) {
    response.set_content(document, "application/json");
  });
  distribution->server().Get("/files/corvida_setup.exe", [&](const httplib::Request&, httplib::Response& response) {
    response.set_content(installer, "application/octet-stream");
  });
  auto analytics = HttpServer::Tls(kAnalyticsPort);

  std::cout << "Configuration document at " << distribution->Url("/cv.json") << ":\n  " << document << "\n\n";
  Wine& wine = Wine::Get();
  wine.ResetState();
  std::cout << "Running " << TestStubExe() << " under Wine...\n";
  const RunResult run = wine.Run(TestStubExe(), L"-exit 0");

  std::cout << "\nRequests seen by the distribution server:\n";
  for (const auto& request : distribution->Requests()) std::cout << "  " << request.method << " " << request.target << "\n";
  std::cout << "Analytics hits:\n";
  for (const auto& request : analytics->Requests()) std::cout << "  " << request.method << " " << request.target << "\n";
  for (const auto& box : run.boxes) std::cout << "Message box: " << box << "\n";
  std::cout << "\nLog (" << wine.LogPath() << "):\n";
  for (const auto& line : LogMessages()) std::cout << "  " << line << "\n";
  if (!run.finished) {
    std::cout << "\nThe stub did not finish in time.\n";
    return 1;
  }
  std::cout << "\nExit value: " << run.exitCode << "\n";
  return 0;
}
