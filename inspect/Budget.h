#pragma once
// How much tessellated output a conversion or a picture may make. A file
// of a few hundred bytes can describe billions of triangles (prototypes
// used four times at each of many levels), so what is written is bounded
// as what is loaded is: the triangles are counted, exactly and without
// tessellating, before anything is made.

#include <cstddef>
#include <string>

namespace vrml {

// 100 million triangles: about 5 GB of STL, 3 to 4 GB of OBJ or glTF
// without instancing, and minutes of work. The largest real scenes seen
// hold a few million, and the benchmarks' 1 GB meshes about 45 million.
constexpr size_t DefaultMaxTriangles = 100'000'000;

// "729,536,544 triangles, more than the budget of 100,000,000"
std::string OverBudget(size_t triangles, size_t budget);

// 1234567 as "1,234,567".
std::string WithThousands(size_t number);

} // namespace vrml
