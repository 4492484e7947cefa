#include "Rasterizer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace vrml {

namespace {

// Screen positions are fixed point with this many steps to a pixel, so that
// the edge tests are exact and two triangles sharing an edge neither
// overlap nor leave a gap along it.
constexpr int SubPixelBits = 8;
constexpr int64_t SubPixels = int64_t{1} << SubPixelBits;
// Farther out than this (in pixels) edge products could overflow. A camera
// fitted to the scene never puts anything there; such triangles are dropped.
constexpr double GuardBand = 1 << 20;
// Lines and points are drawn this much closer than their depth.
constexpr float LineDepthBias = 1.002f;

// Everything a vertex carries, divided by its depth: those quotients vary
// linearly on the screen, so that interpolating them and dividing by the
// interpolated 1 / depth is correct in perspective.
constexpr int Attributes = 9; // add 3, multiply 3, alpha, s, t

void ToArray(const RasterVertex& v, float* out) {
    std::copy(v.add, v.add + 3, out);
    std::copy(v.multiply, v.multiply + 3, out + 3);
    out[6] = v.alpha;
    out[7] = v.s;
    out[8] = v.t;
}

RasterVertex Between(const RasterVertex& a, const RasterVertex& b, float f) {
    const auto mix = [f](float x, float y) { return x + (y - x) * f; };
    RasterVertex v;
    v.position = {mix(a.position.x, b.position.x), mix(a.position.y, b.position.y), mix(a.position.z, b.position.z)};
    for (int k = 0; k < 3; ++k) {
        v.add[k] = mix(a.add[k], b.add[k]);
        v.multiply[k] = mix(a.multiply[k], b.multiply[k]);
    }
    v.alpha = mix(a.alpha, b.alpha);
    v.s = mix(a.s, b.s);
    v.t = mix(a.t, b.t);
    return v;
}

// The part of a polygon in front of the near plane (one plane: at most one
// more vertex than it had).
int ClipToNear(const RasterVertex* in, int count, float nearDepth, RasterVertex* out) {
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const RasterVertex& a = in[i];
        const RasterVertex& b = in[(i + 1) % count];
        const bool aIn = a.position.z >= nearDepth, bIn = b.position.z >= nearDepth;
        if (aIn)
            out[kept++] = a;
        if (aIn != bIn)
            out[kept++] = Between(a, b, (nearDepth - a.position.z) / (b.position.z - a.position.z));
    }
    return kept;
}

unsigned char ToByte(float value) {
    return static_cast<unsigned char>(value >= 1.0f ? 255.0f : value > 0.0f ? value * 255.0f + 0.5f : 0.0f);
}

// An edge's value at a point is twice the area of the triangle the edge
// makes with it: positive inside. A point exactly on an edge belongs to the
// triangle on one side only: the one the point would enter if moved a
// little right and a little less down.
struct Edge {
    int64_t value, stepX, stepY; // at the first pixel of the box; per pixel right and down
    Edge(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px, int64_t py) {
        const int64_t dx = bx - ax, dy = by - ay;
        const bool owns = dy < 0 || (dy == 0 && dx > 0);
        value = dx * (py - ay) - dy * (px - ax) - (owns ? 0 : 1);
        stepX = -dy * SubPixels;
        stepY = dx * SubPixels;
    }
};

} // namespace

struct Rasterizer::ScreenVertex {
    int64_t x, y;       // fixed point
    float inverseDepth; // 1 / z
    float attributes[Attributes];
};

Rasterizer::Rasterizer(const RenderCamera& view, int width, int height, const trelChroma& background) : camera(view) {
    picture.width = width;
    picture.height = height;
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    const unsigned char fill[4] = {ToByte(background.red), ToByte(background.green), ToByte(background.blue),
                                   ToByte(background.alpha)};
    picture.rgba.resize(pixels * 4);
    for (size_t i = 0; i < pixels; ++i)
        std::copy(fill, fill + 4, picture.rgba.begin() + static_cast<std::ptrdiff_t>(i * 4));
    inverseDepth.assign(pixels, 0.0f);
}

bool Rasterizer::Project(const RasterVertex& in, ScreenVertex& out) const {
    const double x = camera.ScreenX(in.position), y = camera.ScreenY(in.position);
    if (!(std::fabs(x) < GuardBand && std::fabs(y) < GuardBand))
        return false;
    out.x = std::llround(x * SubPixels);
    out.y = std::llround(y * SubPixels);
    out.inverseDepth = 1.0f / in.position.z;
    ToArray(in, out.attributes);
    for (float& a : out.attributes)
        a *= out.inverseDepth;
    return true;
}

void Rasterizer::DrawTriangle(const RasterVertex& a, const RasterVertex& b, const RasterVertex& c,
                              const TextureSampler* texture, Blending blending) {
    const RasterVertex corners[3] = {a, b, c};
    RasterVertex clipped[4];
    const int count = ClipToNear(corners, 3, camera.nearDepth, clipped);
    ScreenVertex screen[4];
    for (int i = 0; i < count; ++i)
        if (!Project(clipped[i], screen[i]))
            return;
    for (int i = 1; i + 1 < count; ++i) {
        const ScreenVertex fan[3] = {screen[0], screen[i], screen[i + 1]};
        FillTriangle(fan, texture, blending);
    }
}

void Rasterizer::FillTriangle(const ScreenVertex* v, const TextureSampler* texture, Blending blending) {
    const bool blended = blending == Blending::Over;
    if (texture)
        blended ? Fill<true, true>(v, texture) : Fill<true, false>(v, texture);
    else
        blended ? Fill<false, true>(v, texture) : Fill<false, false>(v, texture);
}

template <bool Textured, bool Blended>
void Rasterizer::Fill(const ScreenVertex* in, const TextureSampler* texture) {
    const ScreenVertex* v[3] = {&in[0], &in[1], &in[2]};
    int64_t area = (v[1]->x - v[0]->x) * (v[2]->y - v[0]->y) - (v[1]->y - v[0]->y) * (v[2]->x - v[0]->x);
    if (area == 0)
        return;
    if (area < 0) { // both sides are drawn: wind every triangle the same way
        std::swap(v[1], v[2]);
        area = -area;
    }
    const int64_t lowX = std::min({v[0]->x, v[1]->x, v[2]->x}), highX = std::max({v[0]->x, v[1]->x, v[2]->x});
    const int64_t lowY = std::min({v[0]->y, v[1]->y, v[2]->y}), highY = std::max({v[0]->y, v[1]->y, v[2]->y});
    // The pixels whose centres can be inside.
    const auto first = [](int64_t fixed) {
        return static_cast<int>(std::ceil((fixed - SubPixels / 2) / double(SubPixels)));
    };
    const auto last = [](int64_t fixed) {
        return static_cast<int>(std::floor((fixed - SubPixels / 2) / double(SubPixels)));
    };
    const int x0 = std::max(0, first(lowX)), x1 = std::min(picture.width - 1, last(highX));
    const int y0 = std::max(0, first(lowY)), y1 = std::min(picture.height - 1, last(highY));
    if (x0 > x1 || y0 > y1)
        return;

    visited += uint64_t(x1 - x0 + 1) * uint64_t(y1 - y0 + 1);
    const int64_t px = int64_t{x0} * SubPixels + SubPixels / 2, py = int64_t{y0} * SubPixels + SubPixels / 2;
    // Each edge weighs the vertex opposite it.
    Edge edges[3] = {Edge(v[1]->x, v[1]->y, v[2]->x, v[2]->y, px, py), Edge(v[2]->x, v[2]->y, v[0]->x, v[0]->y, px, py),
                     Edge(v[0]->x, v[0]->y, v[1]->x, v[1]->y, px, py)};
    const float perArea = 1.0f / static_cast<float>(area);
    const size_t width = static_cast<size_t>(picture.width);
    for (int y = y0; y <= y1; ++y) {
        int64_t e0 = edges[0].value, e1 = edges[1].value, e2 = edges[2].value;
        for (int x = x0; x <= x1; ++x, e0 += edges[0].stepX, e1 += edges[1].stepX, e2 += edges[2].stepX) {
            if ((e0 | e1 | e2) < 0)
                continue;
            const float w0 = static_cast<float>(e0) * perArea, w1 = static_cast<float>(e1) * perArea,
                        w2 = static_cast<float>(e2) * perArea;
            const float depth = w0 * v[0]->inverseDepth + w1 * v[1]->inverseDepth + w2 * v[2]->inverseDepth;
            const size_t pixel = static_cast<size_t>(y) * width + static_cast<size_t>(x);
            if (!(depth > inverseDepth[pixel]))
                continue;
            const float toValue = 1.0f / depth;
            const auto value = [&](int k) {
                return (w0 * v[0]->attributes[k] + w1 * v[1]->attributes[k] + w2 * v[2]->attributes[k]) * toValue;
            };
            float red = value(0), green = value(1), blue = value(2);
            float alpha = Blended ? value(6) : 1.0f;
            if (Textured) {
                const Texel texel = texture->Sample(value(7), value(8));
                red += value(3) * texel.red;
                green += value(4) * texel.green;
                blue += value(5) * texel.blue;
                alpha *= texel.alpha;
            } else {
                red += value(3);
                green += value(4);
                blue += value(5);
            }
            if (!Blended)
                inverseDepth[pixel] = depth;
            Write(pixel, red, green, blue, alpha, Blended);
        }
        for (Edge& edge : edges)
            edge.value += edge.stepY;
    }
}

void Rasterizer::Write(size_t pixel, float red, float green, float blue, float alpha, bool blended) {
    unsigned char* out = &picture.rgba[pixel * 4];
    if (!blended) {
        out[0] = ToByte(red);
        out[1] = ToByte(green);
        out[2] = ToByte(blue);
        out[3] = 255;
        return;
    }
    // Straight (not premultiplied) alpha over what is there, which may
    // itself be a transparent background.
    const float a = std::fmin(std::fmax(alpha, 0.0f), 1.0f);
    const float below = out[3] / 255.0f * (1.0f - a);
    const float total = a + below;
    if (total <= 0.0f)
        return;
    const float source[3] = {red, green, blue};
    for (int k = 0; k < 3; ++k)
        out[k] = ToByte((std::fmin(std::fmax(source[k], 0.0f), 1.0f) * a + out[k] / 255.0f * below) / total);
    out[3] = ToByte(total);
}

void Rasterizer::Plot(int x, int y, float depth, const RasterVertex& colour, Blending blending) {
    ++visited;
    if (x < 0 || y < 0 || x >= picture.width || y >= picture.height)
        return;
    const size_t pixel = static_cast<size_t>(y) * static_cast<size_t>(picture.width) + static_cast<size_t>(x);
    depth *= LineDepthBias;
    if (!(depth > inverseDepth[pixel]))
        return;
    const bool blended = blending == Blending::Over;
    if (!blended)
        inverseDepth[pixel] = depth;
    Write(pixel, colour.add[0], colour.add[1], colour.add[2], colour.alpha, blended);
}

void Rasterizer::DrawPoint(const RasterVertex& p, Blending blending) {
    if (!(p.position.z >= camera.nearDepth))
        return;
    const double x = camera.ScreenX(p.position), y = camera.ScreenY(p.position);
    if (x >= 0.0 && y >= 0.0 && x < picture.width && y < picture.height)
        Plot(static_cast<int>(x), static_cast<int>(y), 1.0f / p.position.z, p, blending);
}

void Rasterizer::DrawLine(const RasterVertex& a, const RasterVertex& b, Blending blending) {
    const RasterVertex ends[2] = {a, b};
    RasterVertex clipped[3];
    if (ClipToNear(ends, 2, camera.nearDepth, clipped) < 2)
        return;
    // A segment clipped as a two-point polygon comes back as its kept end
    // and the crossing, or as both ends.
    const RasterVertex& from = clipped[0];
    const RasterVertex& to = clipped[1];
    const double x0 = camera.ScreenX(from.position), y0 = camera.ScreenY(from.position);
    const double dx = camera.ScreenX(to.position) - x0, dy = camera.ScreenY(to.position) - y0;
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(dx) || !std::isfinite(dy))
        return;
    // The stretch of the segment on the picture (parameters 0 to 1), so that
    // the steps below never outnumber the picture's pixels.
    double enter = 0.0, leave = 1.0;
    const auto within = [&enter, &leave](double start, double delta, double limit) {
        if (delta == 0.0)
            return start >= 0.0 && start <= limit;
        double t0 = -start / delta, t1 = (limit - start) / delta;
        if (t0 > t1)
            std::swap(t0, t1);
        enter = std::max(enter, t0);
        leave = std::min(leave, t1);
        return enter <= leave;
    };
    if (!within(x0, dx, picture.width) || !within(y0, dy, picture.height))
        return;
    const int steps = static_cast<int>(std::ceil(std::max(std::fabs(dx), std::fabs(dy)) * (leave - enter)));
    const float fromDepth = 1.0f / from.position.z, toDepth = 1.0f / to.position.z;
    for (int i = 0; i <= steps; ++i) {
        const double t = enter + (leave - enter) * (steps > 0 ? static_cast<double>(i) / steps : 0.0);
        const float f = static_cast<float>(t);
        // Depth interpolates linearly on the screen; colours are close enough so too.
        RasterVertex colour = Between(from, to, f);
        Plot(static_cast<int>(std::floor(x0 + dx * t)), static_cast<int>(std::floor(y0 + dy * t)),
             fromDepth + (toDepth - fromDepth) * f, colour, blending);
    }
}

} // namespace vrml
