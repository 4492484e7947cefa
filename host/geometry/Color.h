#pragma once
// Colours, names, truth values and materials.

#include "Rope.h"

#include <string>

using trelBool = bool;

struct trelChroma {
    float red = 0.0f, green = 0.0f, blue = 0.0f, alpha = 1.0f;
    trelChroma() = default;
    trelChroma(float r, float g, float b, float a = 1.0f) : red(r), green(g), blue(b), alpha(a) {}
    float GetRed() const { return red; }
    float GetGreen() const { return green; }
    float GetBlue() const { return blue; }
    float GetAlpha() const { return alpha; }
    void SetAlpha(float a) { alpha = a; }
    bool operator==(const trelChroma& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
};

// Library defaults: ambient (0.2, 0.2, 0.2), diffuse (0.8, 0.8, 0.8), specular
// and emission black, all opaque; shininess 0.
class trelMaterial {
public:
    void SetAmbient(const trelChroma& c) { ambient = c; }
    void SetDiffuse(const trelChroma& c) { diffuse = c; }
    void SetSpecular(const trelChroma& c) { specular = c; }
    void SetEmission(const trelChroma& c) { emission = c; }
    void SetShininess(float s) { shininess = s; }
    const trelChroma& GetAmbient() const { return ambient; }
    const trelChroma& GetDiffuse() const { return diffuse; }
    const trelChroma& GetSpecular() const { return specular; }
    const trelChroma& GetEmission() const { return emission; }
    float GetShininess() const { return shininess; }
    bool operator==(const trelMaterial& o) const {
        return ambient == o.ambient && diffuse == o.diffuse && specular == o.specular && emission == o.emission &&
               shininess == o.shininess;
    }

private:
    trelChroma ambient{0.2f, 0.2f, 0.2f, 1.0f};
    trelChroma diffuse{0.8f, 0.8f, 0.8f, 1.0f};
    trelChroma specular{0.0f, 0.0f, 0.0f, 1.0f};
    trelChroma emission{0.0f, 0.0f, 0.0f, 1.0f};
    float shininess = 0.0f;
};

// The material properties that travel with an object into a group: a front
// and a back material and the number of materials in use.
struct trelMatProps {
    trelMaterial front;
    trelMaterial back;
    int materialCount = 1;
    bool operator==(const trelMatProps& o) const {
        return front == o.front && back == o.back && materialCount == o.materialCount;
    }
};
