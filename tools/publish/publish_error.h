// What ends a command of publish: its text is the one line the user sees, after "publish: ".
#pragma once

#include <stdexcept>

namespace cv::publish {

class PublishError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace cv::publish
