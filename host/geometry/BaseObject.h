#pragma once

#include "Attributes.h"
#include "BBox.h"
#include "Color.h"
#include "Matrix.h"
#include "Tessellation.h"

#include <memory>
#include <utility>

enum trelObjectTypes {
    TREL_BOX,
    TREL_CONE,
    TREL_CYLINDER,
    TREL_SPHERE,
    TREL_DISK,
    TREL_DOT,
    TREL_POLYLINE,
    TREL_POLYGON,
    TREL_POLYFACE,
    TREL_POLYMESH,
    TREL_TRIANGLE_STRIPS
};

// The one small interface every geometry object shares.
//
// Threads: an object changes only through its setters and
// ApplyMatrixToGeometry; an attribute block is immutable once handed to an
// object, and shared blocks (and the local geometry of a repeated part) are
// never written. The one cache, the world points a repeated part builds when
// first asked for them, is published once by a compare-exchange. So once
// loaded (after Parse returns) objects are read-only, and a host may call
// the const members of any objects (Tessellate, CountTessellation, GetBBox,
// GetPoints) from several threads at once. The library itself starts no
// thread.
class trelBaseObject {
public:
    virtual ~trelBaseObject() = default;
    virtual trelObjectTypes GetObjectType() const = 0;
    // World-space box of the object's true shape (not of its tessellation).
    virtual trelBBox GetBBox() const = 0;
    // Transforms the object in place. Objects compute their boxes on demand,
    // so updateNow changes nothing for them.
    virtual void ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow) = 0;
    // Appends the object's world-space tessellation.
    virtual void Tessellate(trelTessellation& out, const trelTessellationOptions& options) const = 0;
    // Exactly what Tessellate would append with the same options, counted
    // without building it. Objects whose count needs their tessellation
    // build it into a buffer kept per thread.
    virtual trelTessellationCounts CountTessellation(const trelTessellationOptions& options) const;
    // The same tessellation in parts, in order, each handed to `sink` in
    // `part` (cleared first): the parts appended one after another are
    // exactly what Tessellate appends. Large face sets come in pieces of a
    // few thousand triangles; other objects come whole.
    virtual void TessellateInParts(trelTessellation& part, const trelTessellationOptions& options,
                                   trelTessellationSink& sink) const;
    // For a part the file repeats (a USE): the geometry it shares with the
    // other uses, as an object in its own local space, and the matrix that
    // places it here. Tessellating `local` and placing the result by
    // `placement` gives this object's tessellation up to rounding, so an
    // exporter may write `local` once for all the objects that share it.
    // Null `local` for an object that shares nothing.
    struct SharedGeometry {
        std::shared_ptr<const trelBaseObject> local;
        trelMatrix4x4 placement;
    };
    virtual SharedGeometry GetSharedGeometry() const { return {}; }

    trelBaseObject() = default;
    trelBaseObject(const trelBaseObject& other) { *this = other; }
    trelBaseObject& operator=(const trelBaseObject& other) {
        if (this != &other) {
            name = other.name;
            extra = other.extra ? std::make_unique<Extra>(*other.extra) : nullptr;
        }
        return *this;
    }

    void SetObjectName(trelRope objectName) { name = std::move(objectName); }
    const trelRope& GetObjectName() const { return name; }

    // The file's colours, normals, texture coordinates and texture (see
    // Attributes.h); null for an object whose file gave none. `offset` is
    // added to the object's vertex and face numbers before they are looked up.
    void SetAttributes(std::shared_ptr<const trelAttributes> attributes, int offset = 0);
    const trelAttributes* GetAttributes() const { return extra ? extra->attributes.get() : nullptr; }
    const std::shared_ptr<const trelAttributes>& GetSharedAttributes() const;
    int GetAttributeOffset() const { return extra ? extra->attributeOffset : 0; }

protected:
    // Carries the attribute normals through a placement; called by every
    // ApplyMatrixToGeometry. A block shared with other objects is copied
    // first, unless the matrix keeps every direction (a positive uniform
    // scale and a move), as the loader's unit scaling does.
    void ApplyMatrixToAttributes(const trelMatrix4x4& m);

private:
    // A name is a pointer, shared by every use of a part. Most objects have
    // no attributes; a point set makes millions of objects, so those stay
    // behind one more pointer.
    trelRope name;
    struct Extra {
        std::shared_ptr<const trelAttributes> attributes;
        int attributeOffset = 0;
    };
    std::unique_ptr<Extra> extra;
};

// A surface of revolution placed by a matrix (cone, cylinder, sphere). The
// placement is taken to be affine: boxes and normals assume its fourth
// column is (0, 0, 0, 1).
class trelBaseRevSurface : public trelBaseObject {
public:
    void SetXformation(const trelMatrix4x4& m) { xformation = m; }
    const trelMatrix4x4& GetXformation() const { return xformation; }
    void ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow) override;

protected:
    trelMatrix4x4 xformation;
};
