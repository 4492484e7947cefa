// The DEF name index against a plain map: the same answers after any mix of
// names given, given again, forgotten and cleared.

#include "parser/NameTable.h"
#include "parser/DictionaryEntries.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_map>
#include <vector>

TEST(NameTable, AgreesWithAMapThroughAddsReplacementsAndErasures) {
    std::vector<CVRMLDictionaryEntry> entries(64);
    std::mt19937 random(7);
    CVRMLNameTable<CVRMLDictionaryEntry> table;
    std::unordered_map<std::string, CVRMLDictionaryEntry*> model;
    // Names that share long prefixes and suffixes, an empty one, and one with a NUL.
    auto nameOf = [](unsigned n) {
        if (n == 0)
            return std::string();
        if (n == 1)
            return std::string("a\0b", 3);
        return "Part_" + std::to_string(n % 3000) + (n % 2 ? "_Shape" : "_Colour");
    };
    for (int step = 0; step < 200000; ++step) {
        const std::string name = nameOf(random() % 6000);
        CVRMLDictionaryEntry* entry = &entries[random() % entries.size()];
        switch (random() % 4) {
        case 0:
        case 1: {
            auto found = model.find(name);
            CVRMLDictionaryEntry* expected = found == model.end() ? nullptr : found->second;
            ASSERT_EQ(table.Assign(name, entry), expected) << name;
            model[name] = entry;
            break;
        }
        case 2: {
            // Forgotten only when it stands for that entry.
            auto found = model.find(name);
            CVRMLDictionaryEntry* target = found != model.end() && random() % 2 ? found->second : entry;
            table.Erase(name, target);
            if (found != model.end() && found->second == target)
                model.erase(found);
            break;
        }
        default: {
            auto found = model.find(name);
            ASSERT_EQ(table.Find(name), found == model.end() ? nullptr : found->second) << name;
            break;
        }
        }
        ASSERT_EQ(table.Size(), model.size());
        if (step == 150000) {
            table.Clear();
            model.clear();
            EXPECT_EQ(table.Find(nameOf(2)), nullptr);
        }
    }
    for (const auto& [name, entry] : model)
        EXPECT_EQ(table.Find(name), entry) << name;
}
