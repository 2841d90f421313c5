// The run's log: one easylogging++ logger, "default", writing "<date time> <LEVEL> <message>" lines
// to %APPDATA%\Halcyra\CV.log. Messages are built by streaming 8-bit literals, numbers and wide texts
// passed through Narrow().
#pragma once

#include <easylogging++.h>

#include <string>

#include "log/log_text.h"

namespace cv {

// Points the "default" logger at the file under the user's roaming application-data folder.
// Never fails as far as the run is concerned: without a folder or a writable file the lines are
// simply not written.
void ConfigureLog();

// Points the "default" logger at `path` (8-bit text) with the stub's line format. An empty path
// switches file output off.
void ConfigureLogFile(const std::string& path);

}  // namespace cv
