#pragma once
// The scenes at scale (ScaleKinds in Scenes.h), at about 100 MB and 1 GB:
// each loaded in this process (the Parse benchmark's measure) and converted
// to .glb by the `vrml` tool (the job benchmark's). Two runs each, without
// the usual warm-up time, since one run at 1 GB takes from seconds to
// minutes. Their names start with Scale/, so that --benchmark_filter=Scale/
// runs them alone. The table sets the time per byte of the 1 GB scene
// against the 100 MB one of the same kind.

#include "JobBench.h"
#include "Scenes.h"

#include <benchmark/benchmark.h>

// Times one kind of work on a scene at a size in megabytes.
using SceneBenchmark = void (*)(benchmark::State& state, const SceneKind& kind, int megabytes);

void RegisterScaleBenchmarks(SceneBenchmark load, SceneBenchmark convertToGlb);
void PrintScaleTable(const MedianLookup& find);
