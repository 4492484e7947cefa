#pragma once
// How every Define... leaves its dictionary entry: only when the node is being
// named or recorded, named by the pending DEF name, holding the operands.

#include "DictionaryEntries.h"
#include "VRMLParser.h"

#include <new>

template <class Entry, class Fill>
void RecordEntry(CVRMLParser& parser, Fill fill) {
    if (!parser.GetDefiningObjects())
        return;
    Entry* entry = new (std::nothrow) Entry; // no memory: nothing recorded, nothing else changes
    if (!entry)
        return;
    entry->SetName(parser.GetEntityName());
    fill(*entry);
    if (parser.AddDictionaryObject(entry))
        parser.NoteRecordedEntry(entry);
}
