#include "ScaleBench.h"

#include "SceneFiles.h"

#include <cstdio>
#include <string>

namespace {

constexpr int Sizes[] = {100, 1000}; // megabytes at scale 1; the first is the reference

std::string BenchmarkName(const SceneKind& kind, int megabytes, const char* work) {
    return std::string("Scale/") + kind.name + "/" + std::to_string(megabytes) + "MB/" + work;
}

struct Measures {
    double fileMB = 0.0;
    double loadSeconds = 0.0, loadPeakMB = 0.0;   // processor time, rise of resident memory
    double glbSeconds = 0.0, glbCpuSeconds = 0.0; // wall clock and processor time of the process
    double glbPeakMB = 0.0;
    bool loaded = false, converted = false;
};

Measures Measure(const MedianLookup& find, const SceneKind& kind, int megabytes) {
    Measures m;
    const auto* load = find(BenchmarkName(kind, megabytes, "load"));
    const auto* glb = find(BenchmarkName(kind, megabytes, "convert_glb"));
    if (!load && !glb)
        return m; // asking for the scene's size would write it
    m.fileMB = static_cast<double>(Scene(kind, megabytes).size) / 1e6;
    if (load) {
        m.loaded = true;
        m.loadSeconds = load->GetAdjustedCPUTime() / 1e3;
        m.loadPeakMB = Counter(*load, "peak_x_file") * m.fileMB;
    }
    if (glb) {
        m.converted = true;
        m.glbSeconds = glb->GetAdjustedRealTime() / 1e3;
        m.glbCpuSeconds = Counter(*glb, "cpu_seconds");
        m.glbPeakMB = Counter(*glb, "peak_MB");
    }
    return m;
}

// Time per byte of `large` over that of `reference`; 1.0 is linear.
double PerByteGrowth(double largeSeconds, double largeMB, double referenceSeconds, double referenceMB) {
    return referenceSeconds > 0.0 && largeMB > 0.0 ? (largeSeconds / largeMB) / (referenceSeconds / referenceMB) : 0.0;
}

} // namespace

void RegisterScaleBenchmarks(SceneBenchmark load, SceneBenchmark convertToGlb) {
    const auto twice = [](const std::string& name, SceneBenchmark work, const SceneKind& kind, int megabytes) {
        return benchmark::RegisterBenchmark(
                   name.c_str(), [work, &kind, megabytes](benchmark::State& state) { work(state, kind, megabytes); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->Repetitions(2)
            ->ReportAggregatesOnly(true);
    };
    for (const SceneKind& kind : ScaleKinds()) {
        for (int megabytes : Sizes) {
            twice(BenchmarkName(kind, megabytes, "load"), load, kind, megabytes);
            twice(BenchmarkName(kind, megabytes, "convert_glb"), convertToGlb, kind, megabytes)->UseManualTime();
        }
    }
}

void PrintScaleTable(const MedianLookup& find) {
    bool any = false, allMet = true;
    for (const SceneKind& kind : ScaleKinds()) {
        const Measures reference = Measure(find, kind, Sizes[0]);
        for (int megabytes : Sizes) {
            const Measures m = Measure(find, kind, megabytes);
            if (!m.loaded && !m.converted)
                continue;
            if (!any) {
                std::printf("\nScenes at scale, medians of two runs; load in processor time, convert as a "
                            "process (wall clock and processor time). Per-byte growth sets processor time per "
                            "byte against the %d MB scene of the same kind.\n\n"
                            "| Scene | File MB | Load s | Load MB/s | Load peak MB | Load per-byte growth | "
                            "glb s | glb CPU s | glb MB/s | glb peak MB | glb per-byte growth | Met |\n"
                            "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n",
                            Sizes[0]);
                any = true;
            }
            std::printf("| %s | %.0f | ", kind.name, m.fileMB);
            if (m.loaded)
                std::printf("%.2f | %.0f | %.0f | ", m.loadSeconds, m.fileMB / m.loadSeconds, m.loadPeakMB);
            else
                std::printf("| | | ");
            const double loadGrowth = PerByteGrowth(m.loadSeconds, m.fileMB, reference.loadSeconds, reference.fileMB);
            std::printf(megabytes != Sizes[0] && loadGrowth > 0.0 ? "%.2f | " : "| ", loadGrowth);
            if (m.converted)
                std::printf("%.2f | %.2f | %.0f | %.0f | ", m.glbSeconds, m.glbCpuSeconds, m.fileMB / m.glbSeconds,
                            m.glbPeakMB);
            else
                std::printf("| | | | ");
            const double glbGrowth =
                PerByteGrowth(m.glbCpuSeconds, m.fileMB, reference.glbCpuSeconds, reference.fileMB);
            std::printf(megabytes != Sizes[0] && glbGrowth > 0.0 ? "%.2f | " : "| ", glbGrowth);
            // Without the reference (left out by a filter) there is nothing to judge; a step that
            // failed at 1 GB (a job out of memory) has no growth and misses.
            if (megabytes == Sizes[0] || (!reference.loaded && !reference.converted)) {
                std::printf("|\n");
                continue;
            }
            const auto linear = [](bool measured, double growth) {
                return !measured || (growth > 0.0 && growth <= MaxPerByteGrowth);
            };
            const bool met = linear(reference.loaded, loadGrowth) && linear(reference.converted, glbGrowth);
            std::printf("%s |\n", met ? "yes" : "**no**");
            allMet = allMet && met;
        }
    }
    if (any)
        std::printf("\n%s\n", allMet ? "Time per byte linear within the limit at scale."
                                     : "Time per byte grows beyond the limit at scale (marked **no**).");
}
