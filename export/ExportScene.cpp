#include "ExportScene.h"

#include "HandOver.h"
#include "ShapeSharing.h"
#include "inspect/WorldWalk.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>
#include <unordered_map>

namespace vrml {

namespace {

bool IsFinite(const trelFloatPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// A unit normal whatever the tessellation handed over: its own when usable,
// else the face's, else up. Viewers and validators reject any other length.
trelVector UnitNormal(trelVector normal, const trelFloatPoint* face) {
    if (std::isfinite(normal.x) && std::isfinite(normal.y) && std::isfinite(normal.z) && normal.Normalize() > 1e-12)
        return normal;
    trelVector cross = CrossProduct(face[1] - face[0], face[2] - face[0]);
    if (std::isfinite(cross.x) && std::isfinite(cross.y) && std::isfinite(cross.z) && cross.Normalize() > 0.0)
        return cross;
    return {0.0f, 1.0f, 0.0f};
}

// Every float of a vertex, compared bit for bit.
struct VertexKey {
    std::array<uint32_t, 12> bits;
    bool operator==(const VertexKey& other) const { return bits == other.bits; }
};

uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// What the object's block gives beyond its positions.
struct Wanted {
    bool colors = false, texCoords = false;
};

VertexKey KeyOf(const trelFloatPoint& p, const trelVector& n, const trelChroma& c, const trelTexCoord& t) {
    return {{Bits(p.x), Bits(p.y), Bits(p.z), Bits(n.x), Bits(n.y), Bits(n.z), Bits(c.red), Bits(c.green), Bits(c.blue),
             Bits(c.alpha), Bits(t.s), Bits(t.t)}};
}

// The vertices an object keeps, found by their bits and numbered in order
// of first appearance. Open addressing in a table of numbers into the
// object's own arrays: no allocation per vertex. Sized from what the
// object said it could have, and doubled when half full.
class VertexNumbers {
public:
    VertexNumbers(const ExportGeometry& kept, Wanted wanted) : object(kept), wanted(wanted) { slots.assign(16, 0); }
    void Reserve(size_t most) {
        size_t size = slots.size();
        while (size < 2 * most)
            size *= 2;
        Resize(size);
    }
    size_t Hash(const VertexKey& key) const {
        // Colours and texture coordinates take part only where the object
        // has them; elsewhere they are the same for every vertex.
        const size_t words = wanted.colors || wanted.texCoords ? key.bits.size() : 6;
        uint64_t h = 0;
        for (size_t i = 0; i < words; i += 2) {
            h = (h ^ (key.bits[i] | static_cast<uint64_t>(key.bits[i + 1]) << 32)) * 0x9E3779B97F4A7C15ull;
            h ^= h >> 29;
        }
        return static_cast<size_t>(h);
    }
    // Asks for the slot a look-up will start at to be brought into the cache.
    void Prefetch(size_t hash) const {
#if defined(__GNUC__) || defined(__clang__)
        __builtin_prefetch(&slots[hash & (slots.size() - 1)]);
#else
        (void)hash;
#endif
    }
    // The number of the vertex already kept with these bits, or -1 after
    // marking where the caller keeps it next.
    long long Find(const VertexKey& key, size_t hash) {
        if (2 * (object.positions.size() + 1) > slots.size())
            Resize(2 * slots.size());
        const size_t mask = slots.size() - 1;
        for (size_t at = hash & mask;; at = (at + 1) & mask) {
            const uint32_t slot = slots[at];
            if (slot == 0) {
                slots[at] = static_cast<uint32_t>(object.positions.size()) + 1;
                return -1;
            }
            if (KeptKey(slot - 1) == key)
                return slot - 1;
        }
    }

private:
    VertexKey KeptKey(size_t i) const {
        return KeyOf(object.positions[i], object.normals[i], wanted.colors ? object.colors[i] : trelChroma(),
                     wanted.texCoords ? object.texCoords[i] : trelTexCoord());
    }
    void Resize(size_t size) {
        if (size <= slots.size())
            return;
        // The numbers are found again from the kept vertices: the old table
        // goes first, so the two are never held at once.
        slots = std::vector<uint32_t>();
        slots.assign(size, 0);
        const size_t mask = size - 1;
        for (size_t i = 0; i < object.positions.size(); ++i) {
            size_t at = Hash(KeptKey(i)) & mask;
            while (slots[at] != 0)
                at = (at + 1) & mask;
            slots[at] = static_cast<uint32_t>(i) + 1;
        }
    }
    const ExportGeometry& object;
    Wanted wanted;
    std::vector<uint32_t> slots; // a vertex's number + 1; 0 for a free slot
};

Wanted WantedFrom(const trelAttributes* attributes) {
    Wanted wanted;
    if (attributes) {
        wanted.colors = attributes->HasColors();
        // A texture without coordinates is mapped by the shape's own default.
        wanted.texCoords = attributes->HasTexCoords() || attributes->HasTexture();
    }
    return wanted;
}

template <class Item>
Item ItemAt(const std::vector<Item>& items, size_t i) {
    return i < items.size() ? items[i] : Item();
}

trelTexCoord FiniteTexCoord(const trelTexCoord& c) {
    return {std::isfinite(c.s) ? c.s : 0.0f, std::isfinite(c.t) ? c.t : 0.0f};
}

float FloatOf(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// An object's exported form, made from its tessellation as it comes part
// by part: triangles are numbered at once, while line strips and points
// (whose colours follow every triangle's in `colors`) wait for the end.
class GeometryFiller : public trelTessellationSink {
public:
    GeometryFiller(ExportGeometry& target, const OutputFrame& frame, Wanted wanted)
        : object(target), frame(frame), wanted(wanted), index(target, wanted) {}

    void Expect(size_t mostTriangles) override {
        // As many vertices as the triangles have at most: the arrays never
        // move, and the pages of what stays unused are never touched. The
        // table of numbers is touched whole, so it is sized for a vertex
        // per triangle (a smooth mesh has about half that) and doubles for
        // a faceted one.
        const size_t most = 3 * mostTriangles;
        index.Reserve(mostTriangles);
        object.triangles.reserve(most);
        object.positions.reserve(most);
        object.normals.reserve(most);
        if (wanted.colors)
            object.colors.reserve(most);
        if (wanted.texCoords)
            object.texCoords.reserve(most);
    }

    // A corner ready to be numbered: its bits and their hash.
    struct Ready {
        VertexKey key;
        size_t hash;
    };

    void Take(trelTessellation& part) override {
        Prepare(part, ready);
        Number(ready);
        KeepLinesAndPoints(part);
    }

    // Take in steps, which may run on different threads: Prepare reads
    // only the part and the settings; Number and KeepLinesAndPoints, in
    // the parts' order, keep what they give.
    void Number(const std::vector<Ready>& corners) {
        // Each look-up asks for a slot some way ahead to be brought into
        // the cache meanwhile: on a large mesh nearly every one would
        // otherwise wait for memory.
        constexpr size_t Ahead = 16;
        for (size_t i = 0; i < std::min(Ahead, corners.size()); ++i)
            index.Prefetch(corners[i].hash);
        for (size_t i = 0; i < corners.size(); ++i) {
            if (i + Ahead < corners.size())
                index.Prefetch(corners[i + Ahead].hash);
            Number(corners[i]);
        }
    }

    void Finish() {
        object.colors.insert(object.colors.end(), stripColors.begin(), stripColors.end());
        object.colors.insert(object.colors.end(), pointColors.begin(), pointColors.end());
    }

    // The key and hash of every corner of the part's usable triangles.
    void Prepare(const trelTessellation& mesh, std::vector<Ready>& ready) const {
        ready.clear();
        // Flat faces hand over the same normal for corner after corner.
        trelVector lastGiven, lastUnit;
        bool haveLast = false;
        for (size_t t = 0; t + 2 < mesh.triangleVertices.size(); t += 3) {
            trelFloatPoint face[3];
            bool usable = true;
            for (int k = 0; k < 3; ++k) {
                face[k] = frame.Point(mesh.triangleVertices[t + k]);
                usable = usable && IsFinite(face[k]);
            }
            if (!usable)
                continue;
            for (size_t k = 0; k < 3; ++k) {
                const trelVector given = frame.Direction(ItemAt(mesh.triangleNormals, t + k));
                trelVector normal = given;
                if (haveLast && std::memcmp(&given, &lastGiven, sizeof given) == 0) {
                    normal = lastUnit;
                } else if (IsUsable(normal)) {
                    haveLast = true;
                    lastGiven = given;
                    lastUnit = normal;
                } else {
                    normal = UnitNormal(given, face); // the face's own, which holds for this face only
                }
                const trelChroma color = wanted.colors ? ItemAt(mesh.triangleColors, t + k) : trelChroma();
                const trelTexCoord texCoord =
                    wanted.texCoords ? FiniteTexCoord(ItemAt(mesh.triangleTexCoords, t + k)) : trelTexCoord();
                Ready vertex;
                vertex.key = KeyOf(face[k], normal, color, texCoord);
                vertex.hash = index.Hash(vertex.key);
                ready.push_back(vertex);
            }
        }
    }

    void KeepLinesAndPoints(const trelTessellation& mesh) {
        for (size_t s = 0; s < mesh.lineStrips.size(); ++s) {
            const std::vector<trelFloatPoint>& strip = mesh.lineStrips[s];
            const std::vector<trelChroma> noColors;
            const std::vector<trelChroma>& colors = s < mesh.lineColors.size() ? mesh.lineColors[s] : noColors;
            std::vector<trelFloatPoint> kept;
            std::vector<trelChroma> keptColors;
            kept.reserve(strip.size());
            for (size_t k = 0; k < strip.size(); ++k) {
                const trelFloatPoint p = frame.Point(strip[k]);
                if (!IsFinite(p))
                    continue;
                kept.push_back(p);
                if (wanted.colors)
                    keptColors.push_back(ItemAt(colors, k));
            }
            if (kept.size() >= 2) {
                object.lineStrips.push_back(std::move(kept));
                stripColors.insert(stripColors.end(), keptColors.begin(), keptColors.end());
            } else if (kept.size() == 1) {
                object.points.push_back(kept[0]); // a strip of one point is still a point
                pointColors.insert(pointColors.end(), keptColors.begin(), keptColors.end());
            }
        }
        for (size_t i = 0; i < mesh.points.size(); ++i) {
            const trelFloatPoint p = frame.Point(mesh.points[i]);
            if (!IsFinite(p))
                continue;
            object.points.push_back(p);
            if (wanted.colors)
                pointColors.push_back(ItemAt(mesh.pointColors, i));
        }
    }

private:
    // Makes the normal unit length when it has a usable direction, as UnitNormal does.
    static bool IsUsable(trelVector& normal) {
        return std::isfinite(normal.x) && std::isfinite(normal.y) && std::isfinite(normal.z) &&
               normal.Normalize() > 1e-12;
    }

    void Number(const Ready& vertex) {
        const long long found = index.Find(vertex.key, vertex.hash);
        if (found < 0) {
            const auto& b = vertex.key.bits;
            object.positions.push_back({FloatOf(b[0]), FloatOf(b[1]), FloatOf(b[2])});
            object.normals.push_back({FloatOf(b[3]), FloatOf(b[4]), FloatOf(b[5])});
            if (wanted.colors)
                object.colors.push_back({FloatOf(b[6]), FloatOf(b[7]), FloatOf(b[8]), FloatOf(b[9])});
            if (wanted.texCoords)
                object.texCoords.push_back({FloatOf(b[10]), FloatOf(b[11])});
        }
        object.triangles.push_back(static_cast<uint32_t>(found < 0 ? object.positions.size() - 1 : found));
    }

    ExportGeometry& object;
    const OutputFrame frame;
    const Wanted wanted;
    VertexNumbers index;
    std::vector<Ready> ready;
    std::vector<trelChroma> stripColors, pointColors; // kept apart until every triangle's colour is in
};

// A part and its corners made ready, passed from the thread that makes
// them to the one that numbers them.
struct PreparedPart {
    trelTessellation part;
    std::vector<GeometryFiller::Ready> corners;
    size_t mostTriangles = 0; // as the object told, or 0
};

// Tessellates an object on a thread of its own, preparing each part there,
// while the calling thread numbers the parts as they come.
void FillThroughHandOver(const trelBaseObject& source, const trelTessellationOptions& options, GeometryFiller& filler) {
    HandOver<PreparedPart> parts(3);
    class Maker : public trelTessellationSink {
    public:
        Maker(const GeometryFiller& filler, HandOver<PreparedPart>& parts) : filler(filler), parts(parts) {}
        void Expect(size_t mostTriangles) override { prepared.mostTriangles = mostTriangles; }
        void Take(trelTessellation& part) override {
            std::swap(prepared.part, part);
            filler.Prepare(prepared.part, prepared.corners);
            const size_t most = prepared.mostTriangles;
            parts.Put(prepared);
            prepared.mostTriangles = most;
            std::swap(prepared.part, part); // the object goes on in buffers already used
        }

    private:
        const GeometryFiller& filler;
        HandOver<PreparedPart>& parts;
        PreparedPart prepared;
    };
    std::exception_ptr makerFailure;
    std::thread making([&] {
        try {
            Maker maker(filler, parts);
            trelTessellation part;
            source.TessellateInParts(part, options, maker);
        } catch (...) {
            makerFailure = std::current_exception();
        }
        parts.Close();
    });
    try {
        PreparedPart prepared;
        for (bool first = true; parts.Next(prepared); first = false) {
            if (first && prepared.mostTriangles > 0)
                filler.Expect(prepared.mostTriangles);
            filler.Number(prepared.corners);
            filler.KeepLinesAndPoints(prepared.part);
        }
    } catch (...) {
        parts.Stop();
        making.join();
        throw;
    }
    making.join();
    if (makerFailure)
        std::rethrow_exception(makerFailure);
}

// Grey pictures modulate the object's colour in VRML; others replace it.
bool IsIntensity(const trelImage& image) {
    for (size_t i = 0; i + 2 < image.rgba.size(); i += 4)
        if (image.rgba[i] != image.rgba[i + 1] || image.rgba[i] != image.rgba[i + 2])
            return false;
    return true;
}

// An exporter writes the image from its pixels, or from the PNG or JPEG
// file it was read from; either way the pixels must be there.
bool IsUsable(const trelImage& image) {
    return image.width > 0 && image.height > 0 && image.rgba.size() % 4 == 0 &&
           static_cast<uint64_t>(image.width) * static_cast<uint64_t>(image.height) == image.rgba.size() / 4;
}

using MaterialKey = std::array<float, 17>;

MaterialKey KeyOf(const trelMaterial& m) {
    MaterialKey key{};
    size_t i = 0;
    for (const trelChroma* c : {&m.GetAmbient(), &m.GetDiffuse(), &m.GetSpecular(), &m.GetEmission()}) {
        key[i++] = c->GetRed();
        key[i++] = c->GetGreen();
        key[i++] = c->GetBlue();
        key[i++] = c->GetAlpha();
    }
    key[i] = m.GetShininess();
    return key;
}

// The scene's distinct materials, numbered in order of first use. The
// table holds an index per material, found by a hash of its figures: a
// scene of a colour per part has as many as it has parts.
class MaterialNumbers {
public:
    explicit MaterialNumbers(std::vector<trelMaterial>& materials) : materials(materials), slots(64) {}

    int Find(const trelMaterial& material) {
        const MaterialKey key = KeyOf(material);
        const uint64_t hash = Hash(key);
        // Open addressing: a scene of a colour per part has hundreds of
        // thousands of materials, and no allocation is made for each.
        size_t at = static_cast<size_t>(hash) & (slots.size() - 1);
        for (; slots[at].number >= 0; at = (at + 1) & (slots.size() - 1))
            if (slots[at].hash == hash && KeyOf(materials[static_cast<size_t>(slots[at].number)]) == key)
                return slots[at].number;
        const int number = static_cast<int>(materials.size());
        materials.push_back(material);
        slots[at] = {hash, number};
        if (2 * materials.size() > slots.size())
            Grow();
        return number;
    }

private:
    struct Slot {
        uint64_t hash = 0;
        int number = -1; // -1: free
    };

    void Grow() {
        std::vector<Slot> old(slots.size() * 2);
        old.swap(slots);
        for (const Slot& slot : old) {
            if (slot.number < 0)
                continue;
            size_t at = static_cast<size_t>(slot.hash) & (slots.size() - 1);
            while (slots[at].number >= 0)
                at = (at + 1) & (slots.size() - 1);
            slots[at] = slot;
        }
    }

    // Equal figures hash alike: -0 is taken as 0. (A NaN equals nothing,
    // so a material with one is never shared.) The low bits pick the slot,
    // so the product is folded down.
    static uint64_t Hash(const MaterialKey& key) {
        uint64_t hash = 14695981039346656037ull;
        for (float value : key) {
            uint32_t bits;
            const float normal = value == 0.0f ? 0.0f : value;
            std::memcpy(&bits, &normal, sizeof bits);
            hash = (hash ^ bits) * 1099511628211ull;
        }
        return hash ^ (hash >> 32);
    }

    std::vector<trelMaterial>& materials;
    std::vector<Slot> slots; // a power of two, at most half full
};

} // namespace

double UnitScaleToFile(int imageUnits) {
    switch (imageUnits) {
    case 3: return 1.0 / 100.0;
    case 2: return 1.0 / 1000.0;
    case 1: return 1.0 / 1000000.0;
    default: return 1.0;
    }
}

namespace {

// One tessellation to make: an object's own, or a shape's.
struct FillJob {
    const trelBaseObject* source;
    ExportGeometry* target;
    OutputFrame frame; // a shape is kept in its local frame; its instances' placements hold the scene's
};

// Turns objects into their exported form, on several threads when asked.
// Each object is written by one thread into its own place, so the result is
// the same for any number of threads; progress is reported from the
// calling thread only, as objects finish.
class ObjectFiller {
public:
    ObjectFiller(const ExportOptions& options, const std::function<void(int)>& progress, size_t total)
        : options(options), progress(progress), total(total) {}

    void Run(const std::vector<FillJob>& work, int threads) {
        jobs = &work;
        next = 0;
        std::vector<std::thread> helpers;
        const size_t wanted = std::min(static_cast<size_t>(std::max(threads, 1)), work.size());
        for (size_t t = 1; t < wanted; ++t)
            helpers.emplace_back([this] { Work(false); });
        Work(true);
        for (std::thread& helper : helpers)
            helper.join();
        // Small buffers serve the next batch; a large mesh's are not held
        // while its exported form is written.
        if (callerMesh.triangleVertices.capacity() * sizeof(trelFloatPoint) > LargeBuffer)
            callerMesh = trelTessellation();
        if (failure)
            std::rethrow_exception(failure);
    }

private:
    void Work(bool reports) {
        // One object at a time: only the exported form is kept. A helper
        // thread's buffers go with it; the calling thread's serve every batch.
        trelTessellation helperMesh;
        trelTessellation& mesh = reports ? callerMesh : helperMesh;
        for (size_t i = next++; i < jobs->size() && !failed; i = next++) {
            try {
                Fill((*jobs)[i], mesh);
            } catch (...) {
                std::lock_guard<std::mutex> lock(failureGuard);
                if (!failure)
                    failure = std::current_exception();
                failed = true;
            }
            const size_t finished = ++done;
            if (reports && progress) {
                const int percent = static_cast<int>(100.0 * static_cast<double>(finished) / total);
                if (percent > reported) {
                    reported = percent;
                    progress(percent);
                }
            }
        }
    }

    void Fill(const FillJob& job, trelTessellation& mesh) const {
        // An object whose file says nothing more is written as it always
        // was, at no cost.
        const trelAttributes* attributes = job.source->GetAttributes();
        trelTessellationOptions tessellation = options.tessellation;
        tessellation.attributes = attributes != nullptr;
        // The buffers of the thread's previous object are reused.
        GeometryFiller filler(*job.target, job.frame, WantedFrom(attributes));
        // With a core to spare for the object, another thread makes its
        // parts while this one numbers them; the numbering, which alone
        // decides the output, is the same.
        if (options.threads >= 2 * static_cast<int>(jobs->size()))
            FillThroughHandOver(*job.source, tessellation, filler);
        else
            job.source->TessellateInParts(mesh, tessellation, filler);
        filler.Finish();
    }

    static constexpr size_t LargeBuffer = size_t(8) << 20;
    const ExportOptions& options;
    const std::function<void(int)>& progress;
    const size_t total;
    const std::vector<FillJob>* jobs = nullptr;
    trelTessellation callerMesh; // kept from batch to batch
    std::atomic<size_t> next{0}, done{0};
    std::atomic<bool> failed{false};
    std::mutex failureGuard;
    std::exception_ptr failure;
    int reported = -1;
};

// An object as the walk of the world finds it: what its exported form is
// made from when its batch comes. Small, since a scene of a part per box
// has one per box for the whole conversion.
struct ObjectSource {
    const trelBaseObject* source;
    int group;
    int material;
};

// Gives each object that shares its geometry with another one an instance
// of one shape. A geometry used once stays the object's own: nothing would
// be saved, and the object keeps its world-space form. Only a number per
// object is held; its placement is found again when its batch comes.
class Instancer {
public:
    Instancer(const std::vector<ObjectSource>& objects, const trelTessellationOptions& tessellation)
        : shapeOf(objects.size(), -1) {
        // A repeated part's faces are cut into triangles where it lies: a
        // use whose count differs from the part's (a face bent enough that
        // another cut wins, a sliver dropped) keeps its own geometry, so
        // that the output holds what the world counts.
        std::map<const void*, size_t> partTriangles;
        std::map<ShapeUse::Key, int> keyNumbers;
        std::vector<int> users;
        for (size_t i = 0; i < objects.size(); ++i) {
            const ShapeUse use = FindShapeUse(*objects[i].source);
            if (!use.IsShared())
                continue;
            if (use.key.kind < 0) {
                auto [part, first] = partTriangles.try_emplace(use.key.part, 0);
                if (first)
                    part->second = MakeShape(use)->CountTessellation(tessellation).triangles;
                if (objects[i].source->CountTessellation(tessellation).triangles != part->second)
                    continue;
            }
            auto [key, added] = keyNumbers.emplace(use.key, static_cast<int>(users.size()));
            if (added)
                users.push_back(0);
            ++users[static_cast<size_t>(key->second)];
            shapeOf[i] = key->second;
        }
        // Shapes are numbered in order of first use, among the keys used twice or more.
        std::vector<int> shapeOfKey(users.size(), -1);
        for (size_t i = 0; i < objects.size(); ++i) {
            int& shape = shapeOf[i];
            if (shape < 0 || users[static_cast<size_t>(shape)] < 2) {
                shape = -1;
                continue;
            }
            int& number = shapeOfKey[static_cast<size_t>(shape)];
            if (number < 0) {
                number = static_cast<int>(shapeSources.size());
                shapeSources.push_back(MakeShape(FindShapeUse(*objects[i].source)));
            }
            shape = number;
        }
    }

    int ShapeOf(size_t i) const { return shapeOf[i]; }

    // Makes object i an instance of its shape, when it has one, and
    // returns the object that gives it its geometry and attributes: the
    // shape, or null for an object that keeps its own.
    const trelBaseObject* Place(size_t i, const trelBaseObject& source, ExportObject& object,
                                const ExportScene& scene) const {
        if (shapeOf[i] < 0)
            return nullptr;
        object.shape = shapeOf[i];
        object.placement = scene.frame.After(FindShapeUse(source).placement);
        return shapeSources[static_cast<size_t>(object.shape)].get();
    }

    // One job per shape, filling scene.shapes (sized here).
    void AddJobs(ExportScene& scene, std::vector<FillJob>& jobs) const {
        scene.shapes.resize(shapeSources.size());
        for (size_t s = 0; s < shapeSources.size(); ++s)
            jobs.push_back({shapeSources[s].get(), &scene.shapes[s], OutputFrame()});
    }

private:
    std::vector<int> shapeOf; // of each object: its shape, or -1
    std::vector<std::shared_ptr<const trelBaseObject>> shapeSources;
};

} // namespace

namespace {

// Objects tessellated at once while streaming: enough to keep every thread
// busy, few enough that their geometry is small next to the world's.
const size_t StreamBatch = 256;

// The scene's groups, materials and shapes from the world; then its
// objects in batches, each made, handed to `add` in order and, unless
// `keep`, released after (the scene then holds no object).
void ExportWorld(const C3DWorld& world, const ExportOptions& options, ExportScene& scene,
                 const std::function<bool()>& ready, const std::function<void(const ExportObject&)>& add,
                 const std::function<void(int)>& progress, bool keep) {
    scene.frame = options.frame;
    std::vector<ObjectSource> objects;
    objects.reserve(static_cast<size_t>(world.GetTotalObjectCount()));
    MaterialNumbers materialNumbers(scene.materials);
    // The walk is depth-first with parents first, so the latest group seen
    // one level up is the parent.
    std::vector<int> latestAtDepth;
    WalkGroups(world, [&](const trelBaseGroup& group, int depth) {
        const int groupIndex = static_cast<int>(scene.groups.size());
        ExportGroup exported;
        exported.name = ToValidUtf8(group.GetGroupName().GetString());
        exported.depth = depth;
        if (depth > 0) {
            exported.parent = latestAtDepth[static_cast<size_t>(depth - 1)];
            scene.groups[static_cast<size_t>(exported.parent)].groups.push_back(groupIndex);
        }
        latestAtDepth.resize(static_cast<size_t>(depth) + 1);
        latestAtDepth[static_cast<size_t>(depth)] = groupIndex;
        for (int i = 0; i < group.GetNumObjects(); ++i) {
            exported.objects.push_back(static_cast<int>(objects.size()));
            objects.push_back({group.GetObject(i), groupIndex, materialNumbers.Find(group.GetObjectMatProps(i).front)});
        }
        scene.groups.push_back(std::move(exported));
    });

    // The shapes of instances are filled first, and kept.
    std::vector<FillJob> shapeJobs;
    std::unique_ptr<Instancer> instancer; // holds the shapes' sources to the end
    if (options.instancing) {
        instancer = std::make_unique<Instancer>(objects, options.tessellation);
        instancer->AddJobs(scene, shapeJobs);
    }
    const auto shapeOf = [&](size_t i) { return instancer ? instancer->ShapeOf(i) : -1; };
    size_t ownObjects = 0;
    for (size_t i = 0; i < objects.size(); ++i)
        ownObjects += shapeOf(i) < 0 ? 1 : 0;
    if (options.maxTriangles > 0) {
        scene.maxTriangles = options.maxTriangles;
        for (const FillJob& job : shapeJobs)
            scene.countedTriangles += job.source->CountTessellation(options.tessellation).triangles;
        for (size_t i = 0; i < objects.size(); ++i)
            if (shapeOf(i) < 0)
                scene.countedTriangles += objects[i].source->CountTessellation(options.tessellation).triangles;
        if (scene.IsOverBudget())
            return;
    }
    ObjectFiller filler(options, progress, shapeJobs.size() + ownObjects);
    filler.Run(shapeJobs, options.threads);
    if (ready && !ready())
        return;

    // Textures are numbered in order of first use, by objects that took
    // texture coordinates.
    std::map<std::tuple<const trelImage*, bool, bool>, int> textureIndex;
    const auto assignTexture = [&](ExportObject& object, const trelBaseObject& giver) {
        const trelAttributes* attributes = giver.GetAttributes();
        if (scene.GeometryOf(object).HasTexCoords() && attributes->HasTexture() &&
            IsUsable(*attributes->texture.image)) {
            const trelTexture& texture = attributes->texture;
            auto [at, first] =
                textureIndex.emplace(std::make_tuple(texture.image.get(), texture.repeatS, texture.repeatT),
                                     static_cast<int>(scene.textures.size()));
            if (first)
                scene.textures.push_back(
                    {texture.image, texture.repeatS, texture.repeatT, IsIntensity(*texture.image)});
            object.texture = at->second;
        }
    };
    const size_t batch = keep ? std::max<size_t>(objects.size(), 1) : StreamBatch;
    if (keep)
        scene.objects.resize(objects.size());
    std::vector<ExportObject> streamed(keep ? 0 : std::min(batch, objects.size()));
    std::vector<const trelBaseObject*> givers;
    std::vector<FillJob> jobs;
    for (size_t start = 0; start < objects.size(); start += batch) {
        const size_t end = std::min(objects.size(), start + batch);
        ExportObject* made = keep ? &scene.objects[start] : streamed.data();
        jobs.clear();
        givers.clear();
        for (size_t i = start; i < end; ++i) {
            const trelBaseObject& source = *objects[i].source;
            ExportObject& object = made[i - start];
            object = ExportObject();
            object.name = ToValidUtf8(source.GetObjectName().GetString());
            object.type = source.GetObjectType();
            object.group = objects[i].group;
            object.material = objects[i].material;
            const trelBaseObject* shape = instancer ? instancer->Place(i, source, object, scene) : nullptr;
            givers.push_back(shape ? shape : &source);
            if (!shape)
                jobs.push_back({&source, &object, options.frame});
        }
        filler.Run(jobs, options.threads);
        for (size_t i = start; i < end; ++i) {
            ExportObject& object = made[i - start];
            assignTexture(object, *givers[i - start]);
            if (add)
                add(object);
            if (!keep)
                object = ExportObject();
        }
    }
}

} // namespace

ExportScene BuildExportScene(const C3DWorld& world, const ExportOptions& options,
                             const std::function<void(int)>& progress) {
    ExportScene scene;
    ExportWorld(world, options, scene, {}, {}, progress, true);
    return scene;
}

void StreamExportScene(const C3DWorld& world, const ExportOptions& options, ExportScene& scene,
                       const std::function<bool()>& ready, const std::function<void(const ExportObject&)>& add,
                       const std::function<void(int)>& progress) {
    ExportWorld(world, options, scene, ready, add, progress, false);
}

size_t ExportGeometry::GetPointColorStart() const {
    size_t start = positions.size();
    for (const auto& strip : lineStrips)
        start += strip.size();
    return start;
}

size_t ExportScene::GetTriangleCount() const {
    size_t count = 0;
    for (const ExportObject& object : objects)
        count += GeometryOf(object).GetTriangleCount();
    return count;
}

size_t ExportScene::GetLineStripCount() const {
    size_t count = 0;
    for (const ExportObject& object : objects)
        count += GeometryOf(object).lineStrips.size();
    return count;
}

size_t ExportScene::GetPointCount() const {
    size_t count = 0;
    for (const ExportObject& object : objects)
        count += GeometryOf(object).points.size();
    return count;
}

trelBBox ExportScene::GetBounds() const {
    trelBBox box;
    for (const ExportObject& object : objects) {
        const ExportGeometry& geometry = GeometryOf(object);
        const trelMatrix4x4 identity;
        const trelMatrix4x4& placement = object.shape >= 0 ? object.placement : identity;
        const auto add = [&](const trelFloatPoint& p) { box.AddPoint(p * placement); };
        std::for_each(geometry.positions.begin(), geometry.positions.end(), add);
        for (const auto& strip : geometry.lineStrips)
            std::for_each(strip.begin(), strip.end(), add);
        std::for_each(geometry.points.begin(), geometry.points.end(), add);
    }
    return box;
}

const ExportGeometry& WorldGeometryOf(const ExportScene& scene, const ExportObject& object, ExportGeometry& placed) {
    if (object.shape < 0)
        return object;
    placed = scene.shapes[static_cast<size_t>(object.shape)];
    const trelMatrix4x4& m = object.placement;
    trelMatrix4x4 normals = GetInverseMatrix(m);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < r; ++c)
            std::swap(normals.m[r][c], normals.m[c][r]);
    for (trelFloatPoint& p : placed.positions)
        p = p * m;
    for (trelVector& n : placed.normals) {
        n = n * normals;
        n.Normalize();
    }
    for (auto& strip : placed.lineStrips)
        for (trelFloatPoint& p : strip)
            p = p * m;
    for (trelFloatPoint& p : placed.points)
        p = p * m;
    return placed;
}

std::string ToValidUtf8(std::string_view text) {
    // Most names are plain ASCII: they are valid as they stand.
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = byte(i);
        // The ranges of well-formed sequences: no overlong forms, no
        // surrogates, nothing above U+10FFFF.
        size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        bool valid = length > 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const unsigned char c = byte(i + k);
            valid = k == 1 ? (c >= low && c <= high) : (c >= 0x80 && c <= 0xBF);
        }
        if (valid) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += static_cast<char>(0xC0 | (lead >> 6));
            out += static_cast<char>(0x80 | (lead & 0x3F));
            ++i;
        }
    }
    return out;
}

double PhongExponent(float shininess) {
    if (!std::isfinite(shininess) || shininess <= 0.0f)
        return 0.0;
    return shininess <= 1.0f ? 128.0 * shininess : std::min(128.0, static_cast<double>(shininess));
}

double RoughnessFromExponent(double exponent) {
    // The usual match of a Blinn-Phong lobe to a microfacet one.
    return std::clamp(std::sqrt(2.0 / (exponent + 2.0)), 0.0, 1.0);
}

float Clamp01(float value) { return value > 0.0f ? std::min(value, 1.0f) : 0.0f; }

} // namespace vrml
