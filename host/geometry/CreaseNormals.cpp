#include "CreaseNormals.h"

#include <cmath>

namespace trelDetail {

void FaceCorners::Clear() {
    point.clear();
    face.clear();
    angle.clear();
}

void FaceCorners::Add(int cornerPoint, int cornerFace, double cornerAngle) {
    point.push_back(cornerPoint);
    face.push_back(cornerFace);
    angle.push_back(cornerAngle);
}

double CornerAngle(const Vec3& before, const Vec3& at, const Vec3& after) {
    const Vec3 a = before - at, b = after - at;
    const double angle = std::atan2(Length(Cross(a, b)), Dot(a, b));
    return std::isfinite(angle) ? angle : 0.0;
}

void CreaseNormals(const FaceCorners& corners, const std::vector<Vec3>& faceNormals, size_t pointCount,
                   double creaseAngle, std::vector<Vec3>& cornerNormals) {
    const size_t count = corners.point.size();
    cornerNormals.resize(count);
    const auto normalOf = [&](size_t corner) -> const Vec3& {
        return faceNormals[static_cast<size_t>(corners.face[corner])];
    };
    if (!(creaseAngle > 0.0)) {
        for (size_t k = 0; k < count; ++k)
            cornerNormals[k] = normalOf(k);
        return;
    }

    // The corners of each point, gathered point by point.
    std::vector<size_t> first(pointCount + 1, 0);
    for (int p : corners.point)
        ++first[static_cast<size_t>(p) + 1];
    for (size_t p = 0; p < pointCount; ++p)
        first[p + 1] += first[p];
    std::vector<size_t> around(count);
    {
        std::vector<size_t> next(first.begin(), first.end() - 1);
        for (size_t k = 0; k < count; ++k)
            around[next[static_cast<size_t>(corners.point[k])]++] = k;
    }

    // Faces meeting at exactly the crease angle, or coplanar ones whose
    // normals differ by rounding, count as within it.
    const bool everyFace = creaseAngle >= kPi;
    const double limit = std::cos(creaseAngle) - 1e-9;
    for (size_t p = 0; p < pointCount; ++p) {
        const size_t begin = first[p], end = first[p + 1];
        if (everyFace) {
            Vec3 sum;
            for (size_t i = begin; i < end; ++i)
                sum = sum + normalOf(around[i]) * corners.angle[around[i]];
            for (size_t i = begin; i < end; ++i)
                cornerNormals[around[i]] = Normalized(sum);
            continue;
        }
        if (end - begin > static_cast<size_t>(kMaxSmoothedCorners)) {
            for (size_t i = begin; i < end; ++i)
                cornerNormals[around[i]] = normalOf(around[i]);
            continue;
        }
        for (size_t i = begin; i < end; ++i) {
            const Vec3& own = normalOf(around[i]);
            Vec3 sum;
            for (size_t j = begin; j < end; ++j) {
                const Vec3& other = normalOf(around[j]);
                if (Dot(own, other) >= limit)
                    sum = sum + other * corners.angle[around[j]];
            }
            cornerNormals[around[i]] = Normalized(sum);
        }
    }
}

} // namespace trelDetail
