#pragma once
// A one-line progress bar on stderr, drawn only when stderr is a terminal.

#include <string>

class ProgressBar {
public:
    ProgressBar(const std::string& label, bool wanted);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // The loader's callback: one percentage, strictly increasing.
    static void Report(int percentage);
    void Finish();

    static bool StderrIsTerminal();

private:
    void Draw(int percentage);
    std::string label;
    bool active = false;
    static ProgressBar* current; // the callback carries no context
};
