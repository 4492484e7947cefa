#pragma once
// The names that the texts a parser reads USE. A parser told to keep only
// the names it may need records a DEF in its dictionary only when the name is
// one of these: files from CAD exporters name every node and use few.

#include "NameTable.h"

#include <string_view>

class CGenericParser;

class CVRMLUsedNames {
public:
    // Adds the names that the text `reader` has loaded uses: the token after
    // every USE word, found by one pass over the bytes (comments and strings
    // included, which can only add names). Without the memory to hold them,
    // every name counts as used from then on.
    void Collect(const CGenericParser& reader);
    bool Contains(std::string_view name) const { return everyName || names.Find(name) != nullptr; }
    void Clear();

private:
    CVRMLNameIndex names; // each name stands for this set
    bool everyName = false;
};
