// The configuration document: a JSON object whose members "shortcut", "wrapper", "checksum" and
// "version" are looked up and converted at the step of the run that uses each.
#pragma once

#include <jsoncons/json.hpp>

namespace cv {

using WrapperConfig = jsoncons::wjson;

}  // namespace cv
