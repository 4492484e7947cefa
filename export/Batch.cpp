#include "Batch.h"

#include "parser/VRMLParser.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

namespace vrml {

namespace fs = std::filesystem;

std::string PlanBatch(const std::vector<std::string>& inputs, const std::string& outputDir, ExportFormat format,
                      std::vector<BatchJob>& jobs) {
    if (inputs.empty())
        return "no input files";
    std::error_code error;
    fs::create_directories(outputDir, error);
    if (!fs::is_directory(outputDir, error))
        return outputDir + ": cannot create the output folder";
    jobs.clear();
    for (const std::string& input : inputs) {
        if (input == CGenericParser::StandardInputName)
            return "standard input has no name to write under: give - OUT";
        BatchJob job;
        job.input = input;
        job.output = (fs::path(outputDir) / OutputNameFor(input, format)).string();
        jobs.push_back(std::move(job));
    }
    return std::string();
}

namespace {

std::string ConvertCaught(const BatchJob& job, ExportFormat format, const ConvertSettings& settings,
                          ConvertSummary& summary) {
    try {
        return ConvertFile(job.input, job.output, format, settings, summary);
    } catch (const std::bad_alloc&) {
        return "not enough memory";
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "failed with an unknown error";
    }
}

} // namespace

void RunBatch(std::vector<BatchJob>& jobs, ExportFormat format, const ConvertSettings& settings,
              const std::function<void(const BatchJob&)>& done) {
    std::vector<bool> refused;
    std::set<std::string> written;
    for (const BatchJob& job : jobs)
        refused.push_back(!written.insert(fs::path(job.output).lexically_normal().string()).second);

    const int threads = ThreadsToUse(settings.threads);
    // Files side by side, and what threads are left to each file's objects.
    const size_t together = std::min(jobs.size(), static_cast<size_t>(threads));
    ConvertSettings each = settings;
    each.threads = std::max(1, threads / static_cast<int>(std::max<size_t>(together, 1)));
    // Reports of files converted at once would be mixed up.
    if (together > 1)
        each.progress = nullptr;

    std::vector<bool> finished(jobs.size(), false);
    size_t nextToReport = 0;
    std::mutex guard;
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < jobs.size(); i = next++) {
            BatchJob& job = jobs[i];
            const auto start = std::chrono::steady_clock::now();
            if (refused[i])
                job.failure = job.output + " was already written for an earlier input";
            else
                job.failure = ConvertCaught(job, format, each, job.summary);
            job.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::lock_guard<std::mutex> lock(guard);
            finished[i] = true;
            for (; nextToReport < jobs.size() && finished[nextToReport]; ++nextToReport)
                if (done)
                    done(jobs[nextToReport]);
        }
    };
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < together; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();
}

} // namespace vrml
