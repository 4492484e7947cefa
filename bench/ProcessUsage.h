#pragma once
// What the benchmarks ask of the operating system beyond standard C++:
// running the `vrml` tool as a child process and counting page faults. POSIX
// systems give both; elsewhere CanRunChildren() is false, the whole-job
// benchmarks skip themselves and the fault counts stay unknown (-1).

#include <string>
#include <vector>

struct ChildUsage {
    bool ran = false;           // the child was started and waited for
    int exitStatus = -1;        // its exit status; -1 when it died by a signal
    double seconds = 0.0;       // wall-clock time from start to exit
    double cpuSeconds = 0.0;    // user and system time, all its threads
    double peakMegabytes = 0.0; // its resident high-water mark
    long long pageFaults = 0;   // minor and major
};

bool CanRunChildren();

// Runs `arguments[0]` with the rest as its arguments, its output discarded.
// The child's high-water mark counts the resident size this process has
// when it starts the child (the kernel carries it through exec), so callers
// give memory back first.
ChildUsage RunChild(const std::vector<std::string>& arguments);

// This process's page faults so far; -1 where the system does not say.
long long OwnPageFaults();

// A line of /proc/self/status in kB (Linux), or -1.
long long StatusKilobytes(const char* field);

// Gives freed memory back to the system and starts a new resident
// high-water mark at the present size (Linux 4.0 on); false where it cannot.
bool ResetPeakMemory();
