// Loading speed on the synthetic scenes of Scenes.cpp, each at about 10 MB
// and 100 MB, with in the same run:
//   Parse/<scene>/<size>    the whole CVRMLParser::Parse: reading the file,
//                           tokenizing, building the world;
//   Scan/<scene>/<size>     a plain loop counting whitespace-separated tokens
//                           over the same bytes already in memory: the
//                           baseline that makes results comparable between
//                           runs on a busy machine;
//   Tokenize/<scene>/10MB   our tokenizer alone, counting heap allocations;
//   ProgressCost/<scene>/10MB  Parse with and without a progress callback
//                           installed, one after the other, as a cost in %.
// Every benchmark warms up, then repeats; the table printed at the end gives
// medians of the repetitions (CPU time) and checks them against the targets.
//
// Then whole jobs of the `vrml` tool, see JobBench.h, and last the scenes at
// about 1 GB, see ScaleBench.h. The scenes are files (see SceneFiles.h):
// VRML_BENCH_DIR keeps them, VRML_BENCH_SCALE scales them.

#include "ConvertBench.h"
#include "JobBench.h"
#include "ProcessUsage.h"
#include "ScaleBench.h"
#include "SceneFiles.h"
#include "parser/VRMLIOManager.h"
#include "parser/VRMLParser.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

// Every heap allocation of the program is counted, so that a benchmark can
// tell how many a stretch of work made.
namespace {
std::atomic<uint64_t> Allocations{0};
}
void* operator new(size_t size) {
    Allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }

namespace {

constexpr double MaxProgressCost = 2.0; // percent, with a callback installed

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void SetBytes(benchmark::State& state, const SceneFile& file) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size));
}

volatile int LastPercentage = 0;
void ProgressSink(int percentage) { LastPercentage = percentage; }

int ParseOnce(const SceneFile& file, C3DWorld& world, bool withProgress) {
    CVRMLParser parser;
    if (withProgress)
        parser.SetLoaderPtr(ProgressSink);
    return parser.Parse(&world, file.path);
}

// The first parse of a scene, untimed; false (and the benchmark skipped) when
// the scene does not load.
bool WarmUp(benchmark::State& state, SceneFile& file) {
    if (!file.warm) {
        C3DWorld world;
        if (ParseOnce(file, world, false) != VRML_LOAD_SUCCESS) {
            state.SkipWithError("the generated scene did not load");
            return false;
        }
        file.warm = true;
    }
    return true;
}

void Parse(benchmark::State& state, const SceneKind& kind, int megabytes) {
    SceneFile& file = Scene(kind, megabytes);
    if (!WarmUp(state, file))
        return;
    int objects = 0;
    double peakRatio = 0.0;
    long long faults = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const bool peakKnown = ResetPeakMemory();
        const long long before = StatusKilobytes("VmRSS");
        const long long faultsBefore = OwnPageFaults();
        state.ResumeTiming();
        auto world = std::make_unique<C3DWorld>();
        ParseOnce(file, *world, false);
        state.PauseTiming();
        faults += OwnPageFaults() - faultsBefore;
        objects = world->GetTotalObjectCount();
        const long long peak = StatusKilobytes("VmHWM");
        if (peakKnown && before >= 0 && peak >= before)
            peakRatio = std::max(peakRatio, static_cast<double>(peak - before) * 1024.0 / file.size);
        world.reset(); // freeing the world is not timed
        state.ResumeTiming();
    }
    SetBytes(state, file);
    state.counters["objects"] = objects;
    if (peakRatio > 0.0)
        state.counters["peak_x_file"] = peakRatio;
    // Pages the load touched for the first time, each a trip into the kernel.
    if (OwnPageFaults() >= 0 && state.iterations() > 0)
        state.counters["faults_per_MB"] =
            static_cast<double>(faults) / static_cast<double>(state.iterations()) / (file.size / 1e6);
}

// Parses with and without a progress callback in turn, so that a machine
// whose speed drifts slows both alike; reports the extra time in percent.
void ProgressCost(benchmark::State& state, const SceneKind& kind, int megabytes) {
    SceneFile& file = Scene(kind, megabytes);
    if (!WarmUp(state, file))
        return;
    double plain = 0.0, reporting = 0.0;
    for (auto _ : state) {
        for (bool withProgress : {false, true}) {
            C3DWorld world;
            const std::clock_t start = std::clock();
            ParseOnce(file, world, withProgress);
            (withProgress ? reporting : plain) += static_cast<double>(std::clock() - start);
        }
    }
    state.counters["cost_percent"] = plain > 0.0 ? 100.0 * (reporting / plain - 1.0) : 0.0;
}

// Counts runs of bytes other than blanks: the least any reader must do.
uint64_t CountWords(const std::string& text) {
    uint64_t words = 0;
    bool inWord = false;
    for (const char c : text) {
        const bool blank = c == ' ' || c == '\n' || c == '\t' || c == '\r';
        words += !blank && !inWord;
        inWord = !blank;
    }
    return words;
}

void Scan(benchmark::State& state, const SceneKind& kind, int megabytes) {
    const SceneFile& file = Scene(kind, megabytes);
    const std::string text = ReadWhole(file.path);
    for (auto _ : state)
        benchmark::DoNotOptimize(CountWords(text));
    SetBytes(state, file);
}

// Reads the file with the parser's own input manager and classifies every
// token, counting the heap allocations made after the file is open.
void Tokenize(benchmark::State& state, const SceneKind& kind, int megabytes) {
    const SceneFile& file = Scene(kind, megabytes);
    uint64_t tokens = 0, allocations = 0;
    for (auto _ : state) {
        CVRMLIOManager reader;
        reader.SetFilename(file.path);
        if (reader.OpenFile() != VRML_LOAD_SUCCESS) {
            state.SkipWithError("cannot open the generated scene");
            return;
        }
        const uint64_t allocationsBefore = Allocations.load();
        tokens = 0;
        long long kinds = 0;
        while (reader.Tokenize() != 0) {
            kinds += reader.GetCurrentTokenType();
            ++tokens;
        }
        allocations = Allocations.load() - allocationsBefore;
        benchmark::DoNotOptimize(kinds);
    }
    SetBytes(state, file);
    state.counters["tokens"] = static_cast<double>(tokens);
    state.counters["allocations"] = static_cast<double>(allocations);
}

// Prints the usual console output, and at the end a Markdown table of the
// medians checked against the targets.
class TableReporter : public benchmark::ConsoleReporter {
public:
    bool ReportContext(const Context& context) override {
        cpus = context.cpu_info.num_cpus;
        megahertz = context.cpu_info.cycles_per_second / 1e6;
        return ConsoleReporter::ReportContext(context);
    }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred)
                medians[run.run_name.function_name] = run;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        PrintTable();
        PrintJobTable([this](const std::string& name) { return Find(name); });
        PrintInfoTargetTable([this](const std::string& name) { return Find(name); });
        PrintScaleTable([this](const std::string& name) { return Find(name); });
        PrintConvertTable([this](const std::string& name) { return Find(name); });
    }

private:
    const Run* Find(const std::string& name) const {
        auto found = medians.find(name);
        return found == medians.end() ? nullptr : &found->second;
    }
    static double MBps(const Run& run) { return Counter(run, "bytes_per_second") / 1e6; }
    void Verdict(bool met) {
        std::printf(" %s |\n", met ? "yes" : "**no**");
        allMet = allMet && met;
    }

    void PrintTable() {
        char date[32];
        const std::time_t now = std::time(nullptr);
        std::strftime(date, sizeof date, "%Y-%m-%d", std::localtime(&now));
        std::printf("\n%s, %d CPUs at %.0f MHz; medians of the repetitions, CPU time.\n\n", date, cpus, megahertz);
        std::printf(
            "| Scene | File MB | Parse MB/s | Faults / MB | Of scan | Per-byte time 100 MB / 10 MB | Peak / file | "
            "Objects | Target MB/s (peak / file) | Met |\n|---|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");
        for (const SceneKind& kind : SceneKinds()) {
            const Run* small = nullptr;
            for (int megabytes : {10, 100}) {
                const std::string suffix = std::string(kind.name) + "/" + std::to_string(megabytes) + "MB";
                const Run* parse = Find("Parse/" + suffix);
                const Run* scan = Find("Scan/" + suffix);
                if (!parse)
                    continue;
                const double rate = MBps(*parse), peak = Counter(*parse, "peak_x_file");
                std::printf("| %s: %s | %.1f | %.0f | %.0f | ", kind.name, kind.description,
                            static_cast<double>(Scene(kind, megabytes).size) / 1e6, rate,
                            Counter(*parse, "faults_per_MB"));
                std::printf(scan ? "%.0f%% | " : "| ", scan ? 100.0 * rate / MBps(*scan) : 0.0);
                bool met = rate >= kind.targetMBps;
                if (small && megabytes == 100) {
                    const double growth = MBps(*small) / rate;
                    std::printf("%.2f | ", growth);
                    met = met && growth <= MaxPerByteGrowth;
                } else {
                    std::printf("| ");
                }
                std::printf("%.2f | %.0f | %.0f", peak, Counter(*parse, "objects"), kind.targetMBps);
                if (kind.maxPeakPerFileByte > 0.0) {
                    std::printf(" (%.0f)", kind.maxPeakPerFileByte);
                    met = met && peak > 0.0 && peak <= kind.maxPeakPerFileByte;
                }
                std::printf(" |");
                Verdict(met);
                small = parse;
            }
        }
        std::printf("\n| Check | Scene | Result | Limit | Met |\n|---|---|---:|---:|---|\n");
        for (const SceneKind& kind : SceneKinds()) {
            const std::string suffix = std::string(kind.name) + "/10MB";
            if (const Run* progress = Find("ProgressCost/" + suffix)) {
                const double cost = Counter(*progress, "cost_percent");
                std::printf("| progress callback cost | %s | %+.1f%% | %.0f%% |", kind.name, cost, MaxProgressCost);
                Verdict(cost < MaxProgressCost);
            }
            if (const Run* tokenize = Find("Tokenize/" + suffix)) {
                std::printf("| tokenizer: %.0f MB/s, heap allocations for %.0f tokens | %s | %.0f | 0 |",
                            MBps(*tokenize), Counter(*tokenize, "tokens"), kind.name,
                            Counter(*tokenize, "allocations"));
                Verdict(Counter(*tokenize, "allocations") == 0.0);
            }
        }
        std::printf("\n%s\n", allMet ? "Every target met." : "Some targets missed (marked **no**).");
    }

    std::map<std::string, Run> medians;
    int cpus = 0;
    double megahertz = 0.0;
    bool allMet = true;
};

void RegisterAll() {
    auto add = [](const std::string& name, auto function) {
        benchmark::RegisterBenchmark(name.c_str(), function)
            ->Unit(benchmark::kMillisecond)
            ->MinWarmUpTime(0.2)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    };
    for (const SceneKind& kind : SceneKinds()) {
        for (int megabytes : {10, 100}) {
            const std::string suffix = std::string(kind.name) + "/" + std::to_string(megabytes) + "MB";
            add("Scan/" + suffix, [&kind, megabytes](benchmark::State& state) { Scan(state, kind, megabytes); });
            add("Parse/" + suffix, [&kind, megabytes](benchmark::State& state) { Parse(state, kind, megabytes); });
        }
    }
    for (const SceneKind* mesh : {&SceneKinds()[0], &SceneKinds()[1]}) {
        const SceneKind& kind = *mesh;
        const std::string suffix = std::string(kind.name) + "/10MB";
        add("ProgressCost/" + suffix, [&kind](benchmark::State& state) { ProgressCost(state, kind, 10); });
        add("Tokenize/" + suffix, [&kind](benchmark::State& state) { Tokenize(state, kind, 10); });
    }
}

} // namespace

int main(int argc, char** argv) {
    RegisterAll();
    RegisterJobBenchmarks();
    RegisterScaleBenchmarks(Parse, ConvertToGlb);
    RegisterConvertBenchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
