// Starting Linux processes for the bench (Wine, xdotool, Xvfb) with a given environment.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace cv::bench {

// Starts `args` (args[0] searched in PATH) with `env`; stdout/stderr go to the given files ("" keeps
// the bench's own). Returns the pid, or -1.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::string& outFile = "", const std::string& errFile = "");

// Runs `args` to its end and returns its exit status (-1 when it could not start, or did not end
// within `limit` and was killed); its standard output is stored in `output` when given.
int RunToEnd(const std::vector<std::string>& args, const std::vector<std::string>& env,
             std::string* output = nullptr, std::chrono::milliseconds limit = std::chrono::seconds(60));

// True once `pid` has ended (reaped); stores its exit status.
bool Reap(pid_t pid, int* status, bool wait);

}  // namespace cv::bench
