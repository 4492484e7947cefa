#pragma once
// A one-line progress bar on stderr, drawn only when stderr is a terminal:
// the command line's way of showing a job's ProgressCallback.

#include "inspect/Progress.h"

#include <string>

namespace vrml::cli {

class TerminalProgress {
public:
    explicit TerminalProgress(bool wanted);
    ~TerminalProgress() { Clear(); }
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // The callback that draws this bar, labelled with the job's stage; empty
    // when nothing is drawn. It must not outlive the bar.
    ProgressCallback Callback();
    // Wipes the bar off its line, for a line of text or the end of the job.
    void Clear();

private:
    void Draw(const char* stage, int percent);
    std::string label; // of the bar on the line, empty when there is none
    bool active = false;
};

} // namespace vrml::cli
