// Texts from outside as they appear in a log line: wide texts narrowed to 8 bits, and control
// characters shown escaped, so that no server, document or path can break a line or forge one.
#pragma once

#include <string>
#include <string_view>

namespace cv {

// 8-bit text with each control character (0x00 to 0x1F, 0x7F) shown as \xNN, two upper-case hex
// digits. Other bytes stay as they are: the text may be UTF-8.
std::string EscapeControls(std::string_view text);

// Wide text as it appears in a log line: each character up to U+00FF becomes the byte of the same
// value, control characters (U+0000 to U+001F, U+007F to U+009F) shown as \xNN, and every character
// above U+00FF shown as \uNNNN (four upper-case hex digits; each half of a surrogate pair on its own),
// so that a path in any script still reads in the log.
std::string Narrow(std::wstring_view text);

}  // namespace cv
