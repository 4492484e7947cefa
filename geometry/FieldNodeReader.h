#pragma once

#include "parser/VRMLParser.h"

#include <string>

// Reads the nodes in the fields of a geometry node (coord, color, normal,
// texCoord) while holding the geometry node's pending DEF state. A node read
// in a field takes the DEF state for itself and leaves its own name pending;
// the geometry node takes its own name back after every such node and when
// the guard ends. So a nested node's DEF name never names the geometry
// node, which keeps the name it was given: its objects carry it, and USE
// repeats it like any other node.
class CVRMLFieldNodeReader {
public:
    explicit CVRMLFieldNodeReader(CVRMLParser& parser)
        : parser(parser), ownDefined(parser.GetDefinedEntity()), ownName(parser.GetEntityName()) {}
    ~CVRMLFieldNodeReader() { TakeOwnNameBack(); }
    CVRMLFieldNodeReader(const CVRMLFieldNodeReader&) = delete;
    CVRMLFieldNodeReader& operator=(const CVRMLFieldNodeReader&) = delete;

    // Reads the node that is the value of a field, by the block loop. A
    // closing bracket or brace in its place is no node and is left for the
    // geometry node's own loop, so that a malformed field cannot close the
    // geometry node's level.
    int Read() {
        const VRMLTokenTypes kind = parser.GetCurrentTokenType();
        int result = 0;
        if (kind != VRML_CLOSE_BRACE && kind != VRML_CLOSE_BRACKET && kind != VRML_END_OF_INPUT)
            result = parser.ParseBlock();
        TakeOwnNameBack();
        return result;
    }

private:
    void TakeOwnNameBack() {
        parser.SetDefinedEntity(ownDefined);
        parser.SetEntityName(ownName);
    }

    CVRMLParser& parser;
    const int ownDefined;
    const std::string ownName;
};
