#pragma once
// How a long job tells its caller how far it has come, for the caller to show
// as it likes (the command line draws a bar on a terminal; libraries draw nothing).

#include <functional>

namespace vrml {

// The stage the job is in ("loading", "writing") and the percentage of that
// stage done, 0 to 100, rising within a stage. Called on the thread that
// started the job; an empty callback is never called.
using ProgressCallback = std::function<void(const char* stage, int percent)>;

} // namespace vrml
