#include "RenderCommand.h"

#include "render/Render.h"

namespace vrml::cli {

int RunRender(const RenderRequest& request, std::ostream& err) {
    RenderOptions options;
    options.segments = request.segments;
    std::string refused =
        request.thumbnail > 0
            ? ParseRenderSize(std::to_string(request.thumbnail) + "x" + std::to_string(request.thumbnail),
                              options.width, options.height)
            : ParseRenderSize(request.size, options.width, options.height);
    // A thumbnail lies on the file manager's own background.
    if (request.thumbnail > 0)
        options.background = TransparentBackground;
    if (refused.empty() && !request.background.empty())
        refused = ParseBackground(request.background, options.background);
    if (refused.empty() && !ParseRenderView(request.view, options.view))
        refused = "view \"" + request.view + "\" is not iso, front, back, left, right, top or bottom";
    if (!refused.empty()) {
        err << "vrml: " << refused << '\n';
        return 2;
    }
    LoadedScene scene = LoadScene(request.input, request.load);
    if (!scene.failure.empty()) {
        err << "vrml: " << request.input << ": " << scene.failure << '\n';
        return scene.result == 0 ? 2 : scene.result;
    }
    options.maxTriangles = request.maxTriangles;
    const RenderResult rendered = RenderWorld(*scene.world, options);
    if (rendered.IsOverBudget()) {
        err << "vrml: " << request.input << ": " << OverBudget(rendered.countedTriangles, rendered.maxTriangles)
            << " (--max-triangles)\n";
        return 1;
    }
    const std::string failure = WritePng(rendered.picture, request.output);
    if (!failure.empty()) {
        err << "vrml: " << request.output << ": " << failure << '\n';
        return 1;
    }
    if (rendered.IsEmpty()) {
        err << "vrml: " << request.input << ": nothing to draw (no finite triangles, lines or points); "
            << request.output << " holds the background only\n";
        return 1;
    }
    if (rendered.objectsLeftOut > 0) {
        err << "vrml: " << request.input << ": " << WithThousands(rendered.objectsLeftOut)
            << " objects left out of the picture, past its work budget (too many objects drawn over one another)\n";
        return 1;
    }
    return scene.result;
}

} // namespace vrml::cli
