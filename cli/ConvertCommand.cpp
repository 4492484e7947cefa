#include "ConvertCommand.h"

#include "TerminalProgress.h"
#include "export/Batch.h"

#include <filesystem>
#include <iomanip>

namespace vrml::cli {

namespace {

// The jobs `request` asks for, or why it cannot be carried out.
std::string PlanJobs(const ConvertRequest& request, ExportFormat& format, std::vector<BatchJob>& jobs) {
    format = ExportFormat::Glb;
    if (!request.outputDir.empty()) {
        if (!request.files.empty() && !request.format.empty() && !ParseExportFormat(request.format, format))
            return "unknown format '" + request.format + "' (" + ExportFormatNames() + ")";
        return PlanBatch(request.files, request.outputDir, format, jobs);
    }
    if (request.files.size() != 2)
        return "give IN OUT, or several inputs with -o DIR";
    if (!request.format.empty())
        return "--format goes with -o DIR; otherwise OUT's extension names the format";
    if (!ParseExportFormat(std::filesystem::path(request.files[1]).extension().string(), format))
        return request.files[1] + ": unknown output format (the extension must be " + ExportFormatNames(true) + ")";
    jobs.assign(1, BatchJob());
    jobs[0].input = request.files[0];
    jobs[0].output = request.files[1];
    return std::string();
}

} // namespace

int RunConvert(const ConvertRequest& request, std::ostream& out, std::ostream& err) {
    ExportFormat format;
    std::vector<BatchJob> jobs;
    std::string refused = PlanJobs(request, format, jobs);
    if (refused.empty() && request.settings.loadedUnits && InfoOf(format).inMetres)
        refused = "--units loaded applies to OBJ, STL and PLY; glTF is always in metres";
    if (!refused.empty()) {
        err << "vrml convert: " << refused << '\n';
        return 2;
    }

    TerminalProgress bar(!request.quiet);
    ConvertSettings settings = request.settings;
    settings.progress = bar.Callback();
    int status = 0;
    RunBatch(jobs, format, settings, [&](const BatchJob& job) {
        bar.Clear();
        if (!job.failure.empty()) {
            err << "vrml: " << job.input << ": " << job.failure << '\n';
            status = 1;
        } else if (!request.quiet) {
            const ConvertSummary& summary = job.summary;
            out << job.input << " -> " << job.output << ": " << summary.objects << " objects, " << summary.triangles
                << " triangles, " << summary.lineStrips << " lines, " << summary.points << " points\n";
        }
    });
    return status;
}

void ListFormats(std::ostream& out) {
    for (const ExportFormatInfo& info : ExportFormats())
        out << std::left << std::setw(6) << info.name << info.description << '\n';
}

} // namespace vrml::cli
