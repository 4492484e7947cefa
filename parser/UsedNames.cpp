#include "UsedNames.h"

#include "host/tokenizer/GenericParser.h"

#include <exception>

void CVRMLUsedNames::Collect(const CGenericParser& reader) {
    try {
        reader.ForEachTokenAfterWord("use", [&](std::string_view name) {
            if (!name.empty())
                names.Assign(name, this);
        });
    } catch (const std::exception&) {
        everyName = true;
    }
}

void CVRMLUsedNames::Clear() {
    names.Clear();
    everyName = false;
}
