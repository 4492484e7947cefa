#include "JsonDump.h"

#include "WorldWalk.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace vrml {

namespace {

class JsonWriter {
public:
    explicit JsonWriter(std::ostream& o) : out(o) {}

    void Number(double value) {
        if (!std::isfinite(value)) {
            out << "null";
            return;
        }
        char text[32];
        std::snprintf(text, sizeof text, "%.9g", value);
        out << text;
    }

    // Valid UTF-8 passes through; any other byte is taken as Latin-1.
    void String(std::string_view text) {
        out << '"';
        for (size_t i = 0; i < text.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if (c == '"' || c == '\\') {
                out << '\\' << static_cast<char>(c);
            } else if (c < 0x20) {
                Escape(c);
            } else if (c < 0x80) {
                out << static_cast<char>(c);
            } else {
                size_t length = Utf8SequenceLength(text, i);
                if (length == 0)
                    Escape(c);
                else {
                    out.write(text.data() + i, static_cast<std::streamsize>(length));
                    i += length - 1;
                }
            }
        }
        out << '"';
    }

    void Point(float x, float y, float z) {
        out << '[';
        Number(x);
        out << ", ";
        Number(y);
        out << ", ";
        Number(z);
        out << ']';
    }

    std::ostream& out;

private:
    void Escape(unsigned char c) {
        char text[8];
        std::snprintf(text, sizeof text, "\\u%04x", c);
        out << text;
    }

    static size_t Utf8SequenceLength(std::string_view text, size_t i) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead <= 0xDF ? 2 : 0;
        if (length == 0 || i + length > text.size())
            return 0;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return 0;
        return length;
    }
};

void WriteColor(JsonWriter& json, const trelChroma& c) {
    json.out << '[';
    json.Number(c.GetRed());
    json.out << ", ";
    json.Number(c.GetGreen());
    json.out << ", ";
    json.Number(c.GetBlue());
    json.out << ", ";
    json.Number(c.GetAlpha());
    json.out << ']';
}

void WriteMatrix(JsonWriter& json, const trelMatrix4x4& m) {
    json.out << '[';
    for (int i = 0; i < 16; ++i) {
        if (i)
            json.out << ", ";
        json.Number(m(i / 4, i % 4));
    }
    json.out << ']';
}

void WritePoints(JsonWriter& json, const trelFloatPointArray& points) {
    json.out << '[';
    for (int i = 0; i < points.GetSize(); ++i) {
        if (i)
            json.out << ", ";
        json.Point(points[i].x, points[i].y, points[i].z);
    }
    json.out << ']';
}

void WriteInts(JsonWriter& json, const trelIntArray& values) {
    json.out << '[';
    for (int i = 0; i < values.GetSize(); ++i)
        json.out << (i ? ", " : "") << values[i];
    json.out << ']';
}

void WriteShape(JsonWriter& json, const trelBaseObject& object) {
    std::ostream& out = json.out;
    switch (object.GetObjectType()) {
    case TREL_BOX: {
        const auto& box = static_cast<const trelBox&>(object);
        out << ", \"corners\": [";
        for (int i = 0; i < 8; ++i) {
            const trelFloatPoint& p = box.GetCorner(i);
            out << (i ? ", " : "");
            json.Point(p.x, p.y, p.z);
        }
        out << ']';
        break;
    }
    case TREL_CONE: {
        const auto& cone = static_cast<const trelCone&>(object);
        out << ", \"height\": ";
        json.Number(cone.GetHeight());
        out << ", \"radius\": ";
        json.Number(cone.GetRadius());
        out << ", \"matrix\": ";
        WriteMatrix(json, cone.GetXformation());
        break;
    }
    case TREL_CYLINDER: {
        const auto& cylinder = static_cast<const trelCylinder&>(object);
        out << ", \"height\": ";
        json.Number(cylinder.GetHeight());
        out << ", \"radius\": ";
        json.Number(cylinder.GetRadius());
        out << ", \"matrix\": ";
        WriteMatrix(json, cylinder.GetXformation());
        break;
    }
    case TREL_SPHERE: {
        const auto& sphere = static_cast<const trelSphere&>(object);
        out << ", \"radius\": ";
        json.Number(sphere.GetRadius());
        out << ", \"matrix\": ";
        WriteMatrix(json, sphere.GetXformation());
        break;
    }
    case TREL_DISK: {
        const auto& disk = static_cast<const trelDisk&>(object);
        out << ", \"radius\": ";
        json.Number(disk.GetRadius());
        out << ", \"matrix\": ";
        WriteMatrix(json, disk.GetMatrix());
        break;
    }
    case TREL_DOT: {
        const trelFloatPoint& p = static_cast<const trelDot&>(object).GetPoint();
        out << ", \"point\": ";
        json.Point(p.x, p.y, p.z);
        break;
    }
    case TREL_POLYLINE:
    case TREL_POLYGON: {
        const auto& line = static_cast<const C3DPolyline&>(object);
        out << ", \"closed\": " << line.GetClosed() << ", \"points\": ";
        WritePoints(json, line.GetPoints());
        break;
    }
    case TREL_POLYFACE: {
        const auto& face = static_cast<const C3DPolyface&>(object);
        out << ", \"points\": ";
        WritePoints(json, face.GetPoints());
        out << ", \"indices\": ";
        WriteInts(json, face.GetIndices());
        break;
    }
    case TREL_POLYMESH: {
        const auto& mesh = static_cast<const C3DPolyMesh&>(object);
        out << ", \"rows\": " << mesh.GetRows() << ", \"columns\": " << mesh.GetColumns() << ", \"points\": ";
        WritePoints(json, mesh.GetPoints());
        break;
    }
    case TREL_TRIANGLE_STRIPS: {
        const auto& strips = static_cast<const C3DMultipleTriangleStrip&>(object);
        out << ", \"points\": ";
        WritePoints(json, strips.GetPoints());
        out << ", \"normals\": [";
        const trelVectorArray& normals = strips.GetNormals();
        for (int i = 0; i < normals.GetSize(); ++i) {
            out << (i ? ", " : "");
            json.Point(normals[i].x, normals[i].y, normals[i].z);
        }
        out << "], \"lengths\": ";
        WriteInts(json, strips.GetLengths());
        break;
    }
    }
}

void WriteObject(JsonWriter& json, const trelBaseObject& object, const trelMatProps& props) {
    std::ostream& out = json.out;
    const trelMaterial& m = props.front;
    out << "{\"type\": \"" << ObjectTypeName(object.GetObjectType()) << "\", \"name\": ";
    json.String(object.GetObjectName().GetString());
    out << ", \"material\": {\"ambient\": ";
    WriteColor(json, m.GetAmbient());
    out << ", \"diffuse\": ";
    WriteColor(json, m.GetDiffuse());
    out << ", \"specular\": ";
    WriteColor(json, m.GetSpecular());
    out << ", \"emission\": ";
    WriteColor(json, m.GetEmission());
    out << ", \"shininess\": ";
    json.Number(m.GetShininess());
    out << '}';
    WriteShape(json, object);
    out << '}';
}

// Opens a group's object: its name and objects, and the start of its groups.
void OpenGroup(JsonWriter& json, const trelBaseGroup& group) {
    json.out << "{\"name\": ";
    json.String(group.GetGroupName().GetString());
    json.out << ", \"objects\": [";
    for (int i = 0; i < group.GetNumObjects(); ++i) {
        if (i)
            json.out << ", ";
        WriteObject(json, *group.GetObject(i), group.GetObjectMatProps(i));
    }
    json.out << "], \"groups\": [";
}

} // namespace

void WriteJsonDump(std::ostream& out, const DumpHeader& header, const trelBaseGroup& world) {
    JsonWriter json(out);
    out << "{\"file\": ";
    json.String(header.file);
    out << ", \"result\": " << header.result << ", \"version\": " << header.version
        << ", \"imageUnits\": " << header.imageUnits << ", \"world\": ";

    // Depth-first without recursion: each open group with its next child.
    std::vector<std::pair<const trelBaseGroup*, int>> open;
    OpenGroup(json, world);
    open.emplace_back(&world, 0);
    while (!open.empty()) {
        auto& [group, next] = open.back();
        if (next < group->GetNumGroups()) {
            const trelBaseGroup* child = group->GetGroup(next);
            if (next++ > 0)
                out << ", ";
            OpenGroup(json, *child);
            open.emplace_back(child, 0);
        } else {
            out << "]}";
            open.pop_back();
        }
    }
    out << "}\n";
}

} // namespace vrml
