// Starting Linux processes for the bench.
#include "tests/e2e/bench/spawn.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <csignal>
#include <fstream>
#include <thread>
#include <sstream>

namespace cv::bench {
namespace {

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const auto& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::string& outFile, const std::string& errFile) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (!outFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  if (!errFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  pid_t pid = -1;
  auto argv = Pointers(args);
  auto envp = Pointers(env);
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

bool Reap(pid_t pid, int* status, bool wait) {
  int raw = 0;
  const pid_t done = waitpid(pid, &raw, wait ? 0 : WNOHANG);
  if (done != pid) return false;
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return true;
}

int RunToEnd(const std::vector<std::string>& args, const std::vector<std::string>& env, std::string* output,
             std::chrono::milliseconds limit) {
  char path[] = "/tmp/cv_bench_outXXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return -1;
  close(fd);
  const pid_t pid = Spawn(args, env, path, "/dev/null");
  int status = -1;
  if (pid > 0) {
    // A helper such as xdotool must never hold a test for longer than its limit.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!Reap(pid, &status, false)) {
      if (std::chrono::steady_clock::now() >= deadline) {
        kill(pid, SIGKILL);
        Reap(pid, &status, true);
        status = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  if (output != nullptr) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    *output = text.str();
  }
  std::remove(path);
  return status;
}

}  // namespace cv::bench
