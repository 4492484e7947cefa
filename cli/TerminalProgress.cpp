#include "TerminalProgress.h"

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

namespace vrml::cli {

TerminalProgress::TerminalProgress(bool wanted) : active(wanted && VRML_ISATTY(VRML_FILENO(stderr)) != 0) {}

ProgressCallback TerminalProgress::Callback() {
    if (!active)
        return nullptr;
    return [this](const char* stage, int percent) { Draw(stage, percent); };
}

void TerminalProgress::Draw(const char* stage, int percent) {
    constexpr int Width = 40;
    if (label != stage)
        Clear();
    label = stage;
    const int filled = percent * Width / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", label.c_str(), filled, "########################################",
                 Width - filled, "", percent);
    std::fflush(stderr);
}

void TerminalProgress::Clear() {
    if (label.empty())
        return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(label.size()) + 48, "");
    std::fflush(stderr);
    label.clear();
}

} // namespace vrml::cli
