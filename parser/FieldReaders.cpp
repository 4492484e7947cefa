#include "VRMLParser.h"

#include <climits>
#include <cstring>
#include <exception>
#include <vector>

// Lists are collected in reading order and handed to the output array whole.
namespace {
template <class Array, class Value>
void HandOver(Array& output, std::vector<Value>& values) {
    output.Items().swap(values);
}

// Room for `more` items, as the text ahead suggests
// (CGenericParser::EstimateNumbersAhead): a list that grows as it is read
// copies itself into fresh memory again and again, touching every page
// twice or more. Only a guess, so a reservation that fails is no failure.
template <class Value>
void Reserve(std::vector<Value>& values, size_t more) {
    if (more <= values.capacity() - values.size())
        return;
    try {
        values.reserve(values.size() + more);
    } catch (const std::exception&) {
    }
}
} // namespace

int CVRMLParser::ParseColor(trelChroma& color) {
    if (GetCurrentTokenType() == VRML_OPEN_BRACKET)
        Tokenize();
    double rgb[3];
    for (int i = 0; i < 3; ++i) {
        if (GetCurrentTokenType() != VRML_NUMBER)
            return 0;
        rgb[i] = GetCurrentTokenNumericValue();
        if (i < 2)
            Tokenize();
    }
    color = trelChroma(static_cast<float>(rgb[0]), static_cast<float>(rgb[1]), static_cast<float>(rgb[2]), 1.0f);
    return 1;
}

// The list ends at "]"; it also ends at any closing bracket and at the end of
// input, so that a list cut short never reads on without end.
int CVRMLParser::ParseColorArray(trelChromaArray& colors) {
    if (GetCurrentTokenType() != VRML_OPEN_BRACKET) {
        trelChroma color;
        if (!ParseColor(color))
            return 0;
        colors.Resize(1);
        colors[0] = color;
        return 1;
    }
    std::vector<trelChroma> read;
    Reserve(read, IOManager.EstimateNumbersAhead().numbers / 3);
    Tokenize();
    while (GetCurrentTokenType() != VRML_CLOSE_BRACKET) {
        if (GetCurrentTokenType() == VRML_END_OF_INPUT || GetCurrentTokenEndType())
            break;
        trelChroma color;
        if (ParseColor(color))
            read.push_back(color);
        if (GetCurrentTokenType() != VRML_CLOSE_BRACKET && !Tokenize())
            break;
    }
    if (read.empty())
        return 0;
    HandOver(colors, read);
    return 1;
}

int CVRMLParser::ParsePoint(trelFloatPoint& point) {
    float* coordinates[3] = {&point.x, &point.y, &point.z};
    for (int i = 0; i < 3; ++i) {
        if (GetCurrentTokenType() != VRML_NUMBER)
            return 0;
        *coordinates[i] = static_cast<float>(GetCurrentTokenNumericValue());
        if (i < 2)
            Tokenize();
    }
    return 1;
}

template <class Take>
size_t CVRMLParser::TakeNumberGroups(size_t groupSize, bool integers, Take take) {
    constexpr size_t ChunkValues = 3072; // progress is reported between chunks
    double values[ChunkValues];
    size_t total = 0;
    for (;;) {
        const size_t groups = IOManager.ReadNumberGroups(groupSize, ChunkValues / groupSize, values, integers);
        if (groups == 0)
            break;
        for (size_t g = 0; g < groups; ++g)
            take(values + g * groupSize);
        total += groups;
        MarkPrototypeNames();
        UpdateStatus();
    }
    return total;
}

int CVRMLParser::ParsePointArray(trelFloatPointArray& points) {
    if (!GetCurrentTokenBeginType()) {
        points.Resize(1);
        return ParsePoint(points[0]);
    }
    std::vector<trelFloatPoint> read;
    Reserve(read, IOManager.EstimateNumbersAhead().numbers / 3);
    Tokenize();
    while (!GetCurrentTokenEndType()) {
        if (TakeNumberGroups(3, false, [&](const double* v) {
                read.emplace_back(static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]));
            }))
            continue;
        trelFloatPoint point;
        if (ParsePoint(point))
            read.push_back(point);
        if (!Tokenize())
            break;
    }
    int result = 0;
    if (!read.empty()) {
        HandOver(points, read);
        result = 1;
    }
    if (GetCurrentTokenType() == VRML_CLOSE_BRACKET)
        Tokenize();
    return result;
}

int CVRMLParser::ParseFloatArray(trelDoubleArray& values) {
    auto valueOfToken = [this] { return GetCurrentTokenType() == VRML_NUMBER ? GetCurrentTokenNumericValue() : 0.0; };
    if (GetCurrentTokenType() != VRML_OPEN_BRACKET) {
        values.Resize(1);
        values[0] = valueOfToken();
        return 1;
    }
    std::vector<double> read;
    Reserve(read, IOManager.EstimateNumbersAhead().numbers);
    Tokenize();
    while (GetCurrentTokenType() != VRML_CLOSE_BRACKET) {
        read.push_back(valueOfToken());
        if (!Tokenize())
            break;
    }
    if (read.empty())
        return 0;
    HandOver(values, read);
    return 1;
}

int CVRMLParser::ParseIndexArray(std::vector<int>& indices, std::vector<int>& counts) {
    if (GetCurrentTokenType() == VRML_OPEN_BRACKET) {
        const CGenericParser::NumbersAhead ahead = IOManager.EstimateNumbersAhead();
        Reserve(indices, ahead.numbers - ahead.runEnds);
        Reserve(counts, ahead.runEnds + 1);
        Tokenize();
    }
    int run = 0;
    const auto take = [&](double value) {
        if (value == -1.0) {
            if (run > 0) {
                counts.push_back(run);
                run = 0;
            }
        } else {
            indices.push_back(ToIndex(value));
            ++run;
        }
    };
    while (GetCurrentTokenType() == VRML_NUMBER) {
        if (TakeNumberGroups(1, true, [&](const double* value) { take(*value); }))
            continue;
        take(GetCurrentTokenNumericValue());
        if (!Tokenize())
            break;
    }
    if (run > 0)
        counts.push_back(run);
    return indices.empty() ? 0 : 1;
}

int CVRMLParser::ParseRotationVector(trelVector& axis, double& angle) {
    while (GetCurrentTokenType() == VRML_OPEN_BRACE || GetCurrentTokenType() == VRML_OPEN_BRACKET) {
        if (!Tokenize())
            break;
    }
    axis = trelVector(0.0f, 0.0f, 0.0f);
    angle = 0.0;
    float* components[3] = {&axis.x, &axis.y, &axis.z};
    int read = 0;
    for (int i = 0; i < 4; ++i) {
        if (GetCurrentTokenType() != VRML_NUMBER)
            continue;
        double value = GetCurrentTokenNumericValue();
        if (i < 3)
            *components[i] = static_cast<float>(value);
        else
            angle = value;
        Tokenize();
        read = 1;
    }
    return read;
}

// The list ends at a closing bracket or at the end of input; a token that
// cannot begin a rotation (a word, a string, a keyword) ends it too, since
// nothing would ever step over it.
int CVRMLParser::ParseRotationVectorArray(trelVectorArray& axes, trelDoubleArray& angles) {
    if (!GetCurrentTokenBeginType()) {
        axes.Resize(1);
        angles.Resize(1);
        return ParseRotationVector(axes[0], angles[0]);
    }
    std::vector<trelVector> readAxes;
    std::vector<double> readAngles;
    const size_t rotations = IOManager.EstimateNumbersAhead().numbers / 4;
    Reserve(readAxes, rotations);
    Reserve(readAngles, rotations);
    Tokenize();
    while (!GetCurrentTokenEndType() && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        trelVector axis;
        double angle = 0.0;
        if (!ParseRotationVector(axis, angle))
            break;
        readAxes.push_back(axis);
        readAngles.push_back(angle);
    }
    if (readAxes.empty())
        return 0;
    HandOver(axes, readAxes);
    HandOver(angles, readAngles);
    return 1;
}

int CVRMLParser::RemoveQuotes(char* text) {
    if (!text)
        return 0;
    int removed = 0;
    if (text[0] == '"') {
        std::memmove(text, text + 1, std::strlen(text)); // the terminator moves too
        removed = 1;
    }
    size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '"') {
        text[length - 1] = '\0';
        removed = 1;
    }
    return removed;
}

// Works on the string itself: names of any length keep all their characters.
int CVRMLParser::RemoveQuotes(std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    int removed = RemoveQuotes(buffer.data());
    if (removed)
        text = buffer.data();
    return removed;
}

int CVRMLParser::ToIndex(double value) {
    if (!(value > -2147483648.0))
        return value != value ? 0 : INT_MIN; // NaN gives 0
    if (value >= 2147483647.0)
        return INT_MAX;
    return static_cast<int>(value);
}
