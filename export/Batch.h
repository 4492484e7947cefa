#pragma once
// Many conversions at once, with the rules every front end shares: where
// each output goes, no output written twice, every failure kept to its own
// file, and one row of results per input.

#include "Convert.h"

#include <functional>
#include <string>
#include <vector>

namespace vrml {

// One input of a batch and what became of it.
struct BatchJob {
    std::string input, output;
    std::string failure; // empty when converted
    ConvertSummary summary;
    double seconds = 0.0;
};

// Each input's job when converting into the folder `outputDir`, named by
// OutputNameFor; the folder is made if need be. Returns an empty string, or
// why the request as a whole cannot be carried out.
std::string PlanBatch(const std::vector<std::string>& inputs, const std::string& outputDir, ExportFormat format,
                      std::vector<BatchJob>& jobs);

// Converts every job. Two inputs whose outputs are the same file would
// overwrite each other: the later one fails instead. Any exception fails
// its own file only. Several files are converted at once, as many as
// `settings.threads` allows (0: every core), the threads left over going
// to each file's objects; progress is reported only when files go one at a
// time. `done`, when given, is called for each job in the order of `jobs`,
// as soon as it and every job before it are done, one call at a time.
void RunBatch(std::vector<BatchJob>& jobs, ExportFormat format, const ConvertSettings& settings,
              const std::function<void(const BatchJob&)>& done = {});

} // namespace vrml
