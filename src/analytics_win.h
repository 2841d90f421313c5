// Sends one analytics hit with the protocol the stub was built for, without ever holding the run
// longer than the hit's budget (analytics.h).
#pragma once

#include "src/analytics.h"

namespace cv {

// Sends the hit for `event` on a thread of its own and waits kHitWaitMs at most for it; a hit still
// under way then is left to finish, or to end with the process. Writes no log line (the log is the
// run's thread's alone): the caller logs what the result says.
HitResult SendAnalyticsHit(const HitEvent& event);

}  // namespace cv
