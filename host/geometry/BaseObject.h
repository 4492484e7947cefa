#pragma once

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

    trelBaseObject() = default;
    trelBaseObject(const trelBaseObject& other) { *this = other; }
    trelBaseObject& operator=(const trelBaseObject& other) {
        if (this != &other)
            SetObjectName(other.GetObjectName());
        return *this;
    }

    void SetObjectName(trelRope name) {
        objectName = name.IsEmpty() ? nullptr : std::make_unique<trelRope>(std::move(name));
    }
    const trelRope& GetObjectName() const;

private:
    // Most objects have no name; a point set makes millions of objects, so
    // an unnamed one holds no string.
    std::unique_ptr<trelRope> objectName;
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
