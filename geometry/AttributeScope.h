#pragma once
// Holds a block as the parser's geometry attributes for as long as it lives,
// so that no return path of a Define... leaves it to the next node.

#include "parser/VRMLParser.h"

#include <memory>
#include <utility>

class CVRMLGeometryAttributesScope {
public:
    CVRMLGeometryAttributesScope(CVRMLParser& p, std::shared_ptr<const trelAttributes> block) : parser(p) {
        saved = parser.GetGeometryAttributes();
        parser.SetGeometryAttributes(std::move(block));
    }
    ~CVRMLGeometryAttributesScope() { parser.SetGeometryAttributes(std::move(saved)); }
    CVRMLGeometryAttributesScope(const CVRMLGeometryAttributesScope&) = delete;
    CVRMLGeometryAttributesScope& operator=(const CVRMLGeometryAttributesScope&) = delete;

private:
    CVRMLParser& parser;
    std::shared_ptr<const trelAttributes> saved;
};
