#pragma once

#include "GenericTypes.h"

#include <cstdint>
#include <string>
#include <string_view>

// One token. Its text is a view into the reading source that produced it;
// the source stays alive as long as a tokenizer or a saved state refers to it.
class CGenericToken {
public:
    GenericTokenTypes GetDataType() const { return dataType; }
    void SetDataType(GenericTokenTypes type) { dataType = type; }
    uint32_t GetUserDefinedType() const { return userDefinedType; }
    void SetUserDefinedType(uint32_t type) { userDefinedType = type; }
    int GetTokenLength() const { return static_cast<int>(text.size()); }

    std::string_view GetText() const { return text; }
    double GetNumericValue() const { return numericValue; }
    int GetBooleanValue() const { return booleanValue; }

    // Used by the tokenizer when it reads a token.
    void Set(GenericTokenTypes type, std::string_view tokenText, uint32_t userType = 0, double number = 0.0,
             int boolean = 0) {
        dataType = type;
        text = tokenText;
        userDefinedType = userType;
        numericValue = number;
        booleanValue = boolean;
    }

private:
    GenericTokenTypes dataType = GENERIC_END_OF_INPUT;
    uint32_t userDefinedType = 0;
    std::string_view text;
    double numericValue = 0.0;
    int booleanValue = 0;
};
