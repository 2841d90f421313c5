// The run's log: one easylogging++ logger, "default", formatting "<date time> <LEVEL> <message>"
// lines, which the stub writes itself to %APPDATA%\Halcyra\CV.log. Messages are built by streaming
// 8-bit literals, numbers and wide texts passed through Narrow().
#pragma once

#include <easylogging++.h>

#include <string>

#include "log/log_text.h"

namespace cv {

// Opens the log file under the user's roaming application-data folder and sends every line there.
// Never fails as far as the run is concerned: when the file cannot be opened where it should be (the
// folder is missing, or a link or junction leads elsewhere) the lines are simply not written.
void ConfigureLog();

// Receives each line of the "default" logger, formatted, without its line end.
using LogLineWriter = void (*)(const std::string& line);

// Gives the "default" logger the stub's line format and hands each line to `writer`; the library
// itself opens no file. A null writer drops the lines.
void ConfigureLogLines(LogLineWriter writer);

}  // namespace cv
