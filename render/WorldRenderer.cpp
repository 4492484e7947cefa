#include "WorldRenderer.h"

#include "inspect/WorldInfo.h"
#include "inspect/WorldWalk.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vrml {

namespace {
constexpr float LightRight = 0.35f, LightDown = 0.45f; // for each unit along the line of sight
const float LightLength = std::sqrt(LightRight * LightRight + LightDown * LightDown + 1.0f);
} // namespace

const float HeadlightDirection[3] = {LightRight / LightLength, -LightDown / LightLength, 1.0f / LightLength};

namespace {

bool IsFinite(const trelFloatPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

bool IsFinite(const trelBBox& box) { return IsFinite(box.GetMin()) && IsFinite(box.GetMax()); }

// What a texture's pixels say about how it paints, found once per image.
struct TextureTraits {
    bool sampleable = false;
    bool grey = false; // an intensity map: it modulates the object's colour rather than replacing it
    bool transparent = false;
};

TextureTraits TraitsOf(const trelImage& image) {
    TextureTraits traits;
    traits.sampleable = TextureSampler::IsSampleable(image);
    if (!traits.sampleable)
        return traits;
    traits.grey = true;
    for (size_t i = 0; i < image.rgba.size(); i += 4) {
        traits.grey = traits.grey && image.rgba[i] == image.rgba[i + 1] && image.rgba[i] == image.rgba[i + 2];
        traits.transparent = traits.transparent || image.rgba[i + 3] != 255;
    }
    return traits;
}

// An object put off to the second pass: it is drawn blended, after every
// opaque object, farthest first. Only this reference is kept, never its
// triangles: it is tessellated again when its turn comes.
struct Deferred {
    const trelBaseGroup* group;
    int index;
    float depth; // of its box's centre
};

class WorldPainter {
public:
    WorldPainter(const RenderOptions& settings, const RenderCamera& view)
        : options(settings), camera(view), raster(view, settings.width, settings.height, settings.background),
          pixelBudget(static_cast<uint64_t>(std::max(settings.maxPixelWork, 0)) * uint64_t(settings.width) *
                      uint64_t(settings.height)) {}

    // The first pass: opaque objects drawn, transparent ones noted.
    void DrawOrDefer(const trelBaseGroup& group, int index) {
        if (OutOfWork())
            return;
        const Look look = LookOf(group, index);
        if (!look.transparent) {
            Draw(group, index, look);
            return;
        }
        const trelBBox box = group.GetObject(index)->GetBBox();
        trelFloatPoint centre;
        if (!box.IsEmpty() && IsFinite(box))
            centre = {0.5f * box.GetMin().x + 0.5f * box.GetMax().x, 0.5f * box.GetMin().y + 0.5f * box.GetMax().y,
                      0.5f * box.GetMin().z + 0.5f * box.GetMax().z};
        deferred.push_back({&group, index, camera.ToCamera(centre).z});
    }

    // The second pass. Sorting whole objects by their centres is right for
    // objects apart from each other, which is what scenes mostly hold;
    // within an object its triangles are sorted too.
    void DrawDeferred() {
        std::stable_sort(deferred.begin(), deferred.end(),
                         [](const Deferred& a, const Deferred& b) { return a.depth > b.depth; });
        for (const Deferred& object : deferred)
            if (!OutOfWork())
                Draw(*object.group, object.index, LookOf(*object.group, object.index));
        deferred.clear();
    }

    RenderResult Finish() {
        result.picture = raster.TakePicture();
        result.camera = camera;
        return std::move(result);
    }

private:
    // Past the pixel budget every object left is counted, not drawn.
    bool OutOfWork() {
        const bool out = pixelBudget > 0 && raster.GetPixelsVisited() > pixelBudget;
        result.objectsLeftOut += out ? 1 : 0;
        return out;
    }

    // How an object is painted, from its material and attributes.
    struct Look {
        const trelMaterial* material = nullptr;
        const trelAttributes* attributes = nullptr;
        const trelTexture* texture = nullptr; // a sampleable one, or null
        TextureTraits traits;
        bool colors = false;
        bool transparent = false;
    };

    Look LookOf(const trelBaseGroup& group, int index) {
        Look look;
        look.material = &group.GetObjectMatProps(index).front;
        look.attributes = group.GetObject(index)->GetAttributes();
        look.colors = look.attributes && look.attributes->HasColors();
        if (look.attributes && look.attributes->HasTexture()) {
            const trelImage* image = look.attributes->texture.image.get();
            auto found = textures.find(image);
            if (found == textures.end())
                found = textures.emplace(image, TraitsOf(*image)).first;
            if (found->second.sampleable) {
                look.texture = &look.attributes->texture;
                look.traits = found->second;
            }
        }
        look.transparent = look.material->GetDiffuse().GetAlpha() < 1.0f || (look.texture && look.traits.transparent);
        return look;
    }

    void Draw(const trelBaseGroup& group, int index, const Look& look) {
        mesh.Clear(); // the previous object's triangles go; its buffers are reused
        trelTessellationOptions tessellation;
        tessellation.segments = options.segments;
        tessellation.attributes = look.attributes != nullptr;
        group.GetObject(index)->Tessellate(mesh, tessellation);
        const Blending blending = look.transparent ? Blending::Over : Blending::Opaque;
        DrawTriangles(look, blending);
        DrawLinesAndPoints(look, blending);
    }

    void DrawTriangles(const Look& look, Blending blending) {
        const size_t count = mesh.triangleVertices.size() / 3;
        const bool textured = look.texture && mesh.triangleTexCoords.size() == mesh.triangleVertices.size();
        const bool colors = look.colors && mesh.triangleColors.size() == mesh.triangleVertices.size();
        std::optional<TextureSampler> sampler;
        if (textured)
            sampler.emplace(*look.texture->image, look.texture->repeatS, look.texture->repeatT);
        // A coloured picture replaces the object's colour; a grey one modulates it.
        const bool replaced = textured && !look.traits.grey;
        const auto finite = [this](size_t t) {
            const trelFloatPoint* p = &mesh.triangleVertices[t * 3];
            return IsFinite(p[0]) && IsFinite(p[1]) && IsFinite(p[2]);
        };
        const auto draw = [&](size_t t) {
            const size_t first = t * 3;
            const trelFloatPoint* p = &mesh.triangleVertices[first];
            RasterVertex v[3];
            for (int k = 0; k < 3; ++k)
                v[k].position = camera.ToCamera(p[k]);
            const CameraVector faceNormal = FaceNormal(v);
            for (size_t k = 0; k < 3; ++k) {
                RasterVertex& out = v[k];
                const trelChroma diffuse = replaced ? trelChroma(1.0f, 1.0f, 1.0f)
                                           : colors ? mesh.triangleColors[first + k]
                                                    : look.material->GetDiffuse();
                const bool ownAmbient = !replaced && !colors;
                Light(out, VertexNormal(first + k, faceNormal), diffuse, ownAmbient, *look.material);
                if (textured) {
                    out.s = mesh.triangleTexCoords[first + k].s;
                    out.t = mesh.triangleTexCoords[first + k].t;
                }
            }
            raster.DrawTriangle(v[0], v[1], v[2], sampler ? &*sampler : nullptr, blending);
            ++result.triangles;
        };
        if (blending == Blending::Opaque) {
            for (size_t t = 0; t < count; ++t)
                if (finite(t))
                    draw(t);
            return;
        }
        order.clear();
        for (size_t t = 0; t < count; ++t) {
            if (finite(t)) {
                const trelFloatPoint* p = &mesh.triangleVertices[t * 3];
                order.push_back({camera.ToCamera(p[0]).z + camera.ToCamera(p[1]).z + camera.ToCamera(p[2]).z, t});
            }
        }
        std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        for (const auto& entry : order)
            draw(entry.second);
    }

    // Lines and points are not lit. VRML 97 draws them in the emissive
    // colour and VRML 1.0 files in the diffuse one: the emissive colour when
    // it is not black, else the diffuse.
    void DrawLinesAndPoints(const Look& look, Blending blending) {
        const trelMaterial& material = *look.material;
        const trelChroma& emission = material.GetEmission();
        const bool dark = emission.red <= 0.0f && emission.green <= 0.0f && emission.blue <= 0.0f;
        const trelChroma plain = dark ? material.GetDiffuse() : emission;
        const float alpha = material.GetDiffuse().GetAlpha();
        const auto unlit = [&](const trelFloatPoint& p, const trelChroma& colour) {
            RasterVertex v;
            v.position = camera.ToCamera(p);
            v.add[0] = colour.red;
            v.add[1] = colour.green;
            v.add[2] = colour.blue;
            v.alpha = alpha;
            return v;
        };
        for (size_t s = 0; s < mesh.lineStrips.size(); ++s) {
            const std::vector<trelFloatPoint>& strip = mesh.lineStrips[s];
            const bool colors = look.colors && s < mesh.lineColors.size() && mesh.lineColors[s].size() == strip.size();
            for (size_t k = 0; k + 1 < strip.size(); ++k) {
                if (!IsFinite(strip[k]) || !IsFinite(strip[k + 1]))
                    continue;
                raster.DrawLine(unlit(strip[k], colors ? mesh.lineColors[s][k] : plain),
                                unlit(strip[k + 1], colors ? mesh.lineColors[s][k + 1] : plain), blending);
                ++result.lineSegments;
            }
        }
        const bool colors = look.colors && mesh.pointColors.size() == mesh.points.size();
        for (size_t i = 0; i < mesh.points.size(); ++i) {
            if (!IsFinite(mesh.points[i]))
                continue;
            raster.DrawPoint(unlit(mesh.points[i], colors ? mesh.pointColors[i] : plain), blending);
            ++result.points;
        }
    }

    struct CameraVector {
        float x, y, z;
    };

    static CameraVector FaceNormal(const RasterVertex* v) {
        const float ax = v[1].position.x - v[0].position.x, ay = v[1].position.y - v[0].position.y,
                    az = v[1].position.z - v[0].position.z;
        const float bx = v[2].position.x - v[0].position.x, by = v[2].position.y - v[0].position.y,
                    bz = v[2].position.z - v[0].position.z;
        return Unit({ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx});
    }

    static CameraVector Unit(const CameraVector& v) {
        const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        if (!(length > 0.0f) || !std::isfinite(length))
            return {0.0f, 0.0f, 0.0f};
        return {v.x / length, v.y / length, v.z / length};
    }

    // The tessellation's normal in the camera's axes, or the face's when it
    // has none that can be used.
    CameraVector VertexNormal(size_t vertex, const CameraVector& face) const {
        if (vertex >= mesh.triangleNormals.size())
            return face;
        const trelVector& n = mesh.triangleNormals[vertex];
        const CameraVector turned =
            Unit({static_cast<float>(n.x * camera.right[0] + n.y * camera.right[1] + n.z * camera.right[2]),
                  static_cast<float>(n.x * camera.up[0] + n.y * camera.up[1] + n.z * camera.up[2]),
                  static_cast<float>(n.x * camera.forward[0] + n.y * camera.forward[1] + n.z * camera.forward[2])});
        return turned.x == 0.0f && turned.y == 0.0f && turned.z == 0.0f ? face : turned;
    }

    // Both sides of a surface are lit alike: the normal is turned towards the eye first.
    static void Light(RasterVertex& v, CameraVector n, const trelChroma& diffuse, bool ownAmbient,
                      const trelMaterial& material) {
        const CameraPoint& p = v.position;
        if (n.x * p.x + n.y * p.y + n.z * p.z > 0.0f)
            n = {-n.x, -n.y, -n.z};
        const float lit =
            std::max(0.0f, -(n.x * HeadlightDirection[0] + n.y * HeadlightDirection[1] + n.z * HeadlightDirection[2]));
        const trelChroma& ambient = material.GetAmbient();
        const trelChroma& emission = material.GetEmission();
        const float own[3] = {ambient.red, ambient.green, ambient.blue};
        const float base[3] = {diffuse.red, diffuse.green, diffuse.blue};
        const float glow[3] = {emission.red, emission.green, emission.blue};
        for (int k = 0; k < 3; ++k) {
            v.multiply[k] = (ownAmbient ? own[k] : AmbientShare * base[k]) + lit * base[k];
            v.add[k] = glow[k];
        }
        v.alpha = material.GetDiffuse().GetAlpha();
    }

    const RenderOptions& options;
    RenderCamera camera;
    Rasterizer raster;
    RenderResult result;
    trelTessellation mesh;                       // the object being drawn
    std::vector<std::pair<float, size_t>> order; // a blended object's finite triangles, farthest first
    std::vector<Deferred> deferred;
    std::unordered_map<const trelImage*, TextureTraits> textures;
    const uint64_t pixelBudget; // 0: none
};

} // namespace

trelBBox FiniteBounds(const C3DWorld& world, int segments) {
    trelBBox bounds;
    trelTessellation mesh;
    trelTessellationOptions options;
    options.segments = segments;
    WalkGroups(world, [&](const trelBaseGroup& group, int) {
        for (int i = 0; i < group.GetNumObjects(); ++i) {
            const trelBaseObject& object = *group.GetObject(i);
            const trelBBox box = object.GetBBox();
            if (box.IsEmpty())
                continue;
            if (IsFinite(box)) {
                bounds.AddBox(box);
                continue;
            }
            mesh.Clear();
            object.Tessellate(mesh, options);
            for (const trelFloatPoint& p : mesh.triangleVertices)
                if (IsFinite(p))
                    bounds.AddPoint(p);
            for (const auto& strip : mesh.lineStrips)
                for (const trelFloatPoint& p : strip)
                    if (IsFinite(p))
                        bounds.AddPoint(p);
            for (const trelFloatPoint& p : mesh.points)
                if (IsFinite(p))
                    bounds.AddPoint(p);
        }
    });
    return bounds;
}

RenderResult RenderWorld(const C3DWorld& world, const RenderOptions& options) {
    if (options.maxTriangles > 0) {
        trelTessellationOptions counting;
        counting.segments = options.segments;
        RenderResult refused;
        refused.countedTriangles = SummarizeWorld(world, counting).triangles;
        refused.maxTriangles = options.maxTriangles;
        if (refused.IsOverBudget())
            return refused;
    }
    const RenderCamera camera =
        FitCamera(FiniteBounds(world, options.segments), options.view, options.width, options.height);
    WorldPainter painter(options, camera);
    WalkGroups(world, [&painter](const trelBaseGroup& group, int) {
        for (int i = 0; i < group.GetNumObjects(); ++i)
            painter.DrawOrDefer(group, i);
    });
    painter.DrawDeferred();
    return painter.Finish();
}

} // namespace vrml
