#include "Progress.h"

#include <cstdio>
#ifdef _WIN32
#include <io.h>
#define VRML_ISATTY _isatty
#define VRML_FILENO _fileno
#else
#include <unistd.h>
#define VRML_ISATTY isatty
#define VRML_FILENO fileno
#endif

ProgressBar* ProgressBar::current = nullptr;

bool ProgressBar::StderrIsTerminal() { return VRML_ISATTY(VRML_FILENO(stderr)) != 0; }

ProgressBar::ProgressBar(const std::string& text, bool wanted) : label(text), active(wanted && StderrIsTerminal()) {
    if (active)
        current = this;
}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Report(int percentage) {
    if (current)
        current->Draw(percentage);
}

void ProgressBar::Draw(int percentage) {
    constexpr int Width = 40;
    int filled = percentage * Width / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", label.c_str(), filled, "########################################",
                 Width - filled, "", percentage);
    std::fflush(stderr);
}

void ProgressBar::Finish() {
    if (!active)
        return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(label.size()) + 48, "");
    std::fflush(stderr);
    active = false;
    if (current == this)
        current = nullptr;
}
