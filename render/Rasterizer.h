#pragma once
// The drawing half of `vrml render`: triangles, lines and points in camera
// space onto a picture with a depth buffer. It knows nothing of the world
// or its materials; each vertex arrives with its colour already lit.

#include "RenderCamera.h"
#include "TextureSampler.h"
#include "host/geometry/Color.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vrml {

// Four bytes a pixel (red, green, blue, alpha), the top row first.
struct RenderedPicture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;
};

// A vertex's colour is add + multiply × texel, the texel white without a
// texture: a lit surface puts its light in `multiply`, its emission in `add`.
struct RasterVertex {
    CameraPoint position;
    float add[3] = {0.0f, 0.0f, 0.0f};
    float multiply[3] = {0.0f, 0.0f, 0.0f};
    float alpha = 1.0f;
    float s = 0.0f, t = 0.0f; // texture coordinate
};

// How a primitive meets what is drawn already. Opaque primitives write the
// depth buffer; blended ones are tested against it but leave it alone, so
// that they must come after every opaque one, farthest first.
enum class Blending { Opaque, Over };

class Rasterizer {
public:
    Rasterizer(const RenderCamera& camera, int width, int height, const trelChroma& background);

    // Both sides of a triangle are drawn. Texture coordinates are read only
    // when `texture` is given.
    void DrawTriangle(const RasterVertex& a, const RasterVertex& b, const RasterVertex& c,
                      const TextureSampler* texture, Blending blending);
    // One pixel wide, unlit: a line or point takes `add` as its colour.
    // They are drawn a little in front of their depth so that a line on a
    // face stays visible.
    void DrawLine(const RasterVertex& a, const RasterVertex& b, Blending blending);
    void DrawPoint(const RasterVertex& p, Blending blending);

    // The pixels visited so far, drawn or not: the measure of the work done.
    uint64_t GetPixelsVisited() const { return visited; }

    const RenderedPicture& GetPicture() const { return picture; }
    RenderedPicture TakePicture() { return std::move(picture); }

private:
    struct ScreenVertex;
    void FillTriangle(const ScreenVertex* v, const TextureSampler* texture, Blending blending);
    template <bool Textured, bool Blended>
    void Fill(const ScreenVertex* v, const TextureSampler* texture);
    bool Project(const RasterVertex& in, ScreenVertex& out) const;
    void Plot(int x, int y, float inverseDepth, const RasterVertex& colour, Blending blending);
    void Write(size_t pixel, float red, float green, float blue, float alpha, bool blended);

    RenderCamera camera;
    RenderedPicture picture;
    // 1 / depth per pixel, 0 where nothing is drawn: it varies linearly
    // across a triangle on the screen, and it is most precise close up.
    std::vector<float> inverseDepth;
    uint64_t visited = 0;
};

} // namespace vrml
