#pragma once
// Analytic solids and simple objects: box, cone, cylinder, sphere, disk, dot.

#include "Arrays.h"
#include "BaseObject.h"

// A box given by its eight world-space corners: 0-3 the face at -z, 4-7 the
// face at +z, both in the same rotational order. It carries no matrix. With
// attributes each face shows the whole image as the VRML Box does, upright
// seen from outside with the corners' +y up (top: -z up; bottom: +z up).
class trelBox : public trelBaseObject {
public:
    void SetBox(const trelFloatPoint corners[8]);
    const trelFloatPoint& GetCorner(int i) const { return corners[i]; }
    trelObjectTypes GetObjectType() const override { return TREL_BOX; }
    trelBBox GetBBox() const override;
    void ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow) override;
    void Tessellate(trelTessellation& out, const trelTessellationOptions& options) const override;
    trelTessellationCounts CountTessellation(const trelTessellationOptions& options) const override;

private:
    trelFloatPoint corners[8];
};

// Local shape: axis on z, base centred on the origin, apex (or the top
// circle, for a non-zero top radius) at z = height; the side surface only.
// With attributes it takes the VRML Cone's side mapping (see Cylinder).
class trelCone : public trelBaseRevSurface {
public:
    void SetCone(double height, double bottomRadius, double topRadius);
    double GetHeight() const { return height; }
    double GetRadius() const { return bottomRadius; }
    double GetTopRadius() const { return topRadius; }
    trelObjectTypes GetObjectType() const override { return TREL_CONE; }
    trelBBox GetBBox() const override;
    void Tessellate(trelTessellation& out, const trelTessellationOptions& options) const override;
    trelTessellationCounts CountTessellation(const trelTessellationOptions& options) const override;

private:
    double height = 0.0, bottomRadius = 0.0, topRadius = 0.0;
};

// Local shape: axis on z from 0 to height; the side surface only (caps are
// disks). With attributes the side takes the VRML Cylinder's mapping, placed
// as the loader places it (local +y is the file's back, -z): s from 0 at
// local +y towards -x, t from 0 at z = 0 to 1 at z = height.
class trelCylinder : public trelBaseRevSurface {
public:
    // topRatio scales the far radius; the side sweeps `sweepAngle` radians
    // from `startAngle`, measured from the reference direction.
    void SetCylinder(double height, double radius, double topRatio, const trelVector& reference, double startAngle,
                     double sweepAngle);
    double GetHeight() const { return height; }
    double GetRadius() const { return radius; }
    double GetTopRatio() const { return topRatio; }
    const trelVector& GetReference() const { return reference; }
    double GetStartAngle() const { return startAngle; }
    double GetSweepAngle() const { return sweepAngle; }
    trelObjectTypes GetObjectType() const override { return TREL_CYLINDER; }
    trelBBox GetBBox() const override;
    void Tessellate(trelTessellation& out, const trelTessellationOptions& options) const override;
    trelTessellationCounts CountTessellation(const trelTessellationOptions& options) const override;

private:
    double height = 0.0, radius = 0.0, topRatio = 1.0;
    trelVector reference{1.0f, 0.0f, 0.0f};
    double startAngle = 0.0, sweepAngle = 6.283185307179586;
};

// With attributes it takes the VRML Sphere's mapping in its local axes, the
// file's as the loader places it: s from 0 at -z towards -x, t from 0 at -y
// to 1 at +y. A whole sphere is then cut along those meridians and poles.
class trelSphere : public trelBaseRevSurface {
public:
    // Longitude runs about `pole` from `equatorDirection`; latitude from the
    // pole (0) to the opposite pole (pi). A longitude range beyond a full
    // turn is one full turn; latitudes are held to 0..pi.
    void SetSphere(const trelFloatPoint& center, const trelVector& equatorDirection, const trelVector& pole,
                   double radius, double longitudeStart, double longitudeEnd, double latitudeStart, double latitudeEnd);
    const trelFloatPoint& GetCenter() const { return center; }
    double GetRadius() const { return radius; }
    const trelVector& GetEquatorDirection() const { return equatorDirection; }
    const trelVector& GetPole() const { return pole; }
    double GetLongitudeStart() const { return longitudeStart; }
    double GetLongitudeEnd() const { return longitudeEnd; }
    double GetLatitudeStart() const { return latitudeStart; }
    double GetLatitudeEnd() const { return latitudeEnd; }
    trelObjectTypes GetObjectType() const override { return TREL_SPHERE; }
    trelBBox GetBBox() const override;
    void Tessellate(trelTessellation& out, const trelTessellationOptions& options) const override;
    trelTessellationCounts CountTessellation(const trelTessellationOptions& options) const override;

private:
    trelFloatPoint center;
    trelVector equatorDirection{1.0f, 0.0f, 0.0f}, pole{0.0f, 0.0f, 1.0f};
    double radius = 0.0;
    double longitudeStart = 0.0, longitudeEnd = 6.283185307179586;
    double latitudeStart = 0.0, latitudeEnd = 3.141592653589793;
};

// A flat ring in the frame's xy plane, centred on its origin (inner radius 0:
// a disk), facing the frame's z axis. An unfilled one is drawn as its circles.
// With attributes a ccw false block turns it to face -z, and its texture is
// the circle inscribed in the image, s along the frame's x, unmirrored seen
// from the side it faces.
class trelDisk : public trelBaseObject {
public:
    void SetDisk(double innerRadius, double outerRadius, const trelMatrix4x4& frame, trelBool filled);
    double GetInnerRadius() const { return innerRadius; }
    double GetRadius() const { return outerRadius; }
    const trelMatrix4x4& GetMatrix() const { return frame; }
    trelObjectTypes GetObjectType() const override { return TREL_DISK; }
    trelBBox GetBBox() const override;
    void ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow) override;
    void Tessellate(trelTessellation& out, const trelTessellationOptions& options) const override;
    trelTessellationCounts CountTessellation(const trelTessellationOptions& options) const override;

private:
    double innerRadius = 0.0, outerRadius = 0.0;
    trelMatrix4x4 frame;
    trelBool filled = true;
};

class trelDot : public trelBaseObject {
public:
    void SetDot(const trelFloatPoint& p) { point = p; }
    const trelFloatPoint& GetPoint() const { return point; }
    trelObjectTypes GetObjectType() const override { return TREL_DOT; }
    trelBBox GetBBox() const override;
    void ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow) override;
    void Tessellate(trelTessellation& out, const trelTessellationOptions& options) const override;
    trelTessellationCounts CountTessellation(const trelTessellationOptions& options) const override;

private:
    trelFloatPoint point;
};
