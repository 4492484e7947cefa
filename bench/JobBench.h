#pragma once
// Whole jobs as a user runs them: the `vrml` tool started as a process on
// each 10 MB scene, `vrml info` and `vrml convert` to every format, timed
// from start to exit (wall clock, so that the tool's threads count once).
// The table sets each job against the load alone (the Parse benchmark of
// the same scene in the same run), its output against the file, and gives
// the process's peak memory and page faults. The tool is the one built
// beside the benchmark; VRML_TOOL=path picks another. Where processes
// cannot be started (see ProcessUsage.h) the jobs are skipped.

#include "Scenes.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <string>

void RegisterJobBenchmarks();

// One `vrml convert` of the scene at the given size to .glb per iteration,
// with the counters of the job table.
void ConvertToGlb(benchmark::State& state, const SceneKind& kind, int megabytes);
// The same for `vrml info -j 1`, and for a conversion to another format
// (its extension: ".obj").
void InfoOnOneThread(benchmark::State& state, const SceneKind& kind, int megabytes);
void ConvertTo(benchmark::State& state, const SceneKind& kind, int megabytes, const char* extension);

// A counter of a run; 0 when the run has none.
double Counter(const benchmark::BenchmarkReporter::Run& run, const char* name);

// `find` gives the median of a benchmark by name, or null.
using MedianLookup = std::function<const benchmark::BenchmarkReporter::Run*(const std::string&)>;
void PrintJobTable(const MedianLookup& find);
// `vrml info` of the scenes that have targets of their own.
void PrintInfoTargetTable(const MedianLookup& find);
