#pragma once
// Conversion of many-part scenes against loading them: `vrml convert` to
// .glb and `vrml info -j 1` of the same file in the same run, as processes,
// at about 10 MB, 100 MB and 1 GB. The table sets the conversion's wall
// time and peak memory against info's, and the .glb's size against the
// file's; a second table gives the peak memory of OBJ, STL and PLY, which
// stream, against info's. Their names start with Convert/, so that
// --benchmark_filter=Convert/ runs them alone (the 1 GB rows take minutes:
// --benchmark_filter='Convert/.*/(10|100)MB/' leaves them out).

#include "JobBench.h"

void RegisterConvertBenchmarks();
void PrintConvertTable(const MedianLookup& find);
