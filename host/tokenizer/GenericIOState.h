#pragma once

#include "GenericToken.h"

#include <memory>
#include <string>

struct CGenericReadingSource;

// A saved reading position: the source being read, the offset in it and the
// current and look-ahead tokens. Because it holds the source itself, a state
// saved from one tokenizer can be restored into another. It also carries the
// user's defined-entity flag and entity name, which the tokenizer never reads.
class CGenericIOState {
public:
    int GetDefinedEntity() const { return definedEntity; }
    void SetDefinedEntity(int value) { definedEntity = value; }
    const std::string& GetEntityName() const { return entityName; }
    void SetEntityName(const std::string& name) { entityName = name; }
    bool IsValid() const { return source != nullptr; }

private:
    friend class CGenericParser;
    std::shared_ptr<CGenericReadingSource> source;
    size_t offset = 0;
    CGenericToken currentToken;
    CGenericToken nextToken;
    int definedEntity = 0;
    std::string entityName;
};
