#pragma once
// How every Define... leaves its dictionary entry: only when the node is being
// named or recorded, named by the pending DEF name, holding the operands.

#include "DictionaryEntries.h"
#include "VRMLParser.h"

#include <memory>
#include <new>

template <class Entry, class Fill>
void RecordEntry(CVRMLParser& parser, Fill fill) {
    if (!parser.GetDefiningObjects())
        return;
    // No memory for the entry: nothing recorded, nothing else changes. A fill
    // that runs out of memory leaves no entry behind.
    std::unique_ptr<Entry> entry(new (std::nothrow) Entry);
    if (!entry)
        return;
    entry->SetName(parser.GetEntityName());
    fill(*entry);
    Entry* added = entry.release(); // the dictionary takes it, added or not
    if (parser.AddDictionaryObject(added))
        parser.NoteRecordedEntry(added);
}
