// Fetching the configuration document over plain HTTP.
#pragma once

#include <string>

namespace cv {

// GETs the configuration address. True with the decoded body in `text` when the client counts the
// response as complete, whatever its HTTP status; false with `text` empty otherwise.
bool FetchConfigText(std::wstring& text);

}  // namespace cv
