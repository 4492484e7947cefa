#pragma once
// The benchmark's synthetic scenes. Each is written for a given scale: at 1
// it is about 10 MB, and every count in it grows in proportion to the scale,
// so that loading time per byte must not change with it.

#include "SceneWriter.h"

#include <vector>

// The most the time per byte may grow from one size of a scene to the next
// one ten times larger.
constexpr double MaxPerByteGrowth = 1.25;

struct SceneKind {
    const char* name;          // file stem and benchmark name
    const char* description;   // one line for the results table
    double targetMBps;         // the loading speed it must reach
    double maxPeakPerFileByte; // the most memory a load may take, 0: not checked
    void (*write)(SceneWriter& out, double scale);
};

const std::vector<SceneKind>& SceneKinds();

// The kinds also written at about 1 GB, to show that loading and converting
// stay linear in the file's size: the single mesh, and a CAD export whose
// parts index into one list of millions of points.
const std::vector<SceneKind>& ScaleKinds();
