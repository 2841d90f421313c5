// Progress window: not built yet.
#include "src/stages.h"

namespace cv {

void StartProgressWindow(HINSTANCE) {}

}  // namespace cv
