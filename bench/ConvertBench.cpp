#include "ConvertBench.h"

#include "SceneFiles.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int Sizes[] = {10, 100, 1000}; // megabytes at scale 1
constexpr double MaxSecondsPerInfo = 3.0;
constexpr double MaxPeakPerInfo = 1.5;
constexpr double MaxGlbPerFile = 2.0;       // every part with a material of its own
constexpr double MaxSharedGlbPerFile = 1.5; // one part used everywhere

// What is run on each scene: info, the .glb the table judges, and the
// formats that stream (their peak memory must not grow with the output).
const char* const Works[] = {"info", "glb", "obj", "stl", "ply"};

// The scenes of many parts, and the one mesh for comparison.
const char* const Kinds[] = {"boxes_v2", "cubes_v1", "use_v2", "mesh_v2"};

const SceneKind* KindNamed(const char* name) {
    for (const SceneKind& kind : SceneKinds())
        if (std::strcmp(kind.name, name) == 0)
            return &kind;
    return nullptr;
}

std::string BenchmarkName(const char* kind, int megabytes, const char* work) {
    return std::string("Convert/") + kind + "/" + std::to_string(megabytes) + "MB/" + work;
}

} // namespace

void RegisterConvertBenchmarks() {
    for (const char* name : Kinds) {
        const SceneKind* kind = KindNamed(name);
        if (!kind)
            continue;
        for (int megabytes : Sizes) {
            for (const char* work : Works) {
                benchmark::RegisterBenchmark(BenchmarkName(name, megabytes, work).c_str(),
                                             [kind, megabytes, work](benchmark::State& state) {
                                                 if (std::strcmp(work, "info") == 0)
                                                     InfoOnOneThread(state, *kind, megabytes);
                                                 else if (std::strcmp(work, "glb") == 0)
                                                     ConvertToGlb(state, *kind, megabytes);
                                                 else
                                                     ConvertTo(state, *kind, megabytes,
                                                               (std::string(".") + work).c_str());
                                             })
                    ->Unit(benchmark::kMillisecond)
                    ->UseManualTime()
                    ->Iterations(1)
                    ->Repetitions(megabytes >= 1000 ? 2 : 3)
                    ->ReportAggregatesOnly(true);
            }
        }
    }
}

void PrintConvertTable(const MedianLookup& find) {
    bool any = false, allMet = true;
    for (const char* name : Kinds) {
        const SceneKind* kind = KindNamed(name);
        for (int megabytes : Sizes) {
            const auto* info = find(BenchmarkName(name, megabytes, "info"));
            const auto* glb = find(BenchmarkName(name, megabytes, "glb"));
            if (!kind || !info || !glb)
                continue;
            if (!any) {
                std::printf("\nConversion against loading: vrml convert to .glb and vrml info -j 1 of the same "
                            "file, as processes, wall-clock medians.\n\n"
                            "| Scene | File MB | info s | glb s | glb / info | info peak MB | glb peak MB | "
                            "peak / info | .glb / file | Met |\n"
                            "|---|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");
                any = true;
            }
            const double fileMB = static_cast<double>(Scene(*kind, megabytes).size) / 1e6;
            const double infoSeconds = info->GetAdjustedRealTime() / 1e3, glbSeconds = glb->GetAdjustedRealTime() / 1e3;
            const double infoPeak = Counter(*info, "peak_MB"), glbPeak = Counter(*glb, "peak_MB");
            const double size = Counter(*glb, "output_x_file");
            const double maxSize = std::strcmp(name, "use_v2") == 0 ? MaxSharedGlbPerFile : MaxGlbPerFile;
            const bool met = glbSeconds <= MaxSecondsPerInfo * infoSeconds && glbPeak <= MaxPeakPerInfo * infoPeak &&
                             size <= maxSize;
            std::printf("| %s | %.0f | %.2f | %.2f | %.1f | %.0f | %.0f | %.2f | %.2f | %s |\n", name, fileMB,
                        infoSeconds, glbSeconds, glbSeconds / infoSeconds, infoPeak, glbPeak, glbPeak / infoPeak, size,
                        met ? "yes" : "**no**");
            allMet = allMet && met;
        }
    }
    if (any) {
        std::printf("\nThe formats that stream: peak memory of the conversion against info's.\n\n"
                    "| Scene | File MB | obj peak / info | stl peak / info | ply peak / info |\n"
                    "|---|---:|---:|---:|---:|\n");
        for (const char* name : Kinds) {
            const SceneKind* kind = KindNamed(name);
            for (int megabytes : Sizes) {
                const auto* info = find(BenchmarkName(name, megabytes, "info"));
                if (!kind || !info)
                    continue;
                std::printf("| %s | %.0f |", name, static_cast<double>(Scene(*kind, megabytes).size) / 1e6);
                for (const char* work : {"obj", "stl", "ply"}) {
                    const auto* run = find(BenchmarkName(name, megabytes, work));
                    if (run)
                        std::printf(" %.2f |", Counter(*run, "peak_MB") / Counter(*info, "peak_MB"));
                    else
                        std::printf(" |");
                }
                std::printf("\n");
            }
        }
    }
    if (any)
        std::printf("\nTargets: glb / info <= %.0f, peak / info <= %.1f, .glb / file <= %.1f (%.1f for use_v2).\n%s\n",
                    MaxSecondsPerInfo, MaxPeakPerInfo, MaxGlbPerFile, MaxSharedGlbPerFile,
                    allMet ? "Every conversion target met." : "Some conversion targets missed (marked **no**).");
}
