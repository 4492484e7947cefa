#pragma once
// Internal: the inside of a glyph's outline as triangles.

#include <array>
#include <vector>

namespace trelText {

// Fills closed contours (the last point not repeated) as a font draws them:
// a contour inside an odd number of others is a hole (the O's inside).
// Each hole is joined to the contour around it by a cut, and the outline
// that makes is cut into triangles. Appends the points used and the
// triangles, three indices each, counter-clockwise.
void FillContours(const std::vector<std::vector<std::array<double, 2>>>& contours,
                  std::vector<std::array<double, 2>>& points, std::vector<int>& triangles);

} // namespace trelText
