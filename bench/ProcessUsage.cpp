#include "ProcessUsage.h"

#include <cstdlib>
#include <fstream>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#if defined(__unix__) || defined(__APPLE__)
#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
long long Faults(const rusage& usage) {
    return static_cast<long long>(usage.ru_minflt) + static_cast<long long>(usage.ru_majflt);
}
} // namespace

bool CanRunChildren() { return true; }

ChildUsage RunChild(const std::vector<std::string>& arguments) {
    ChildUsage usage;
    if (arguments.empty())
        return usage;
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return usage;
    int status = 0;
    rusage resources{};
    if (wait4(child, &status, 0, &resources) != child)
        return usage;
    usage.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    usage.ran = true;
    usage.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#ifdef __APPLE__
    usage.peakMegabytes = static_cast<double>(resources.ru_maxrss) / 1e6; // bytes there
#else
    usage.peakMegabytes = static_cast<double>(resources.ru_maxrss) * 1024.0 / 1e6; // kB
#endif
    usage.pageFaults = Faults(resources);
    const auto Seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    usage.cpuSeconds = Seconds(resources.ru_utime) + Seconds(resources.ru_stime);
    return usage;
}

long long OwnPageFaults() {
    rusage resources{};
    return getrusage(RUSAGE_SELF, &resources) == 0 ? Faults(resources) : -1;
}

#else

bool CanRunChildren() { return false; }
ChildUsage RunChild(const std::vector<std::string>&) { return {}; }
long long OwnPageFaults() { return -1; }

#endif

#ifdef __linux__
long long StatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::atoll(line.c_str() + prefix.size());
    }
    return -1;
}

// Memory freed by an earlier run goes back to the system first: a run that
// reused it would not raise the mark.
bool ResetPeakMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}
#else
long long StatusKilobytes(const char*) { return -1; }
bool ResetPeakMemory() { return false; }
#endif
