#pragma once
// The crash reporter's texts: 158 numbered slots with English defaults, the catalogue that
// groups and names them for an editor, the report fields a program may address by name, and
// the variables a text may hold between percent signs.

#include <cstdint>

constexpr int MessageTextCount = 158;
constexpr int MessageCatalogueCount = 172;
constexpr int ReportFieldKeyCount = 48;
constexpr int TextVariableCount = 26;

// Slot 153 is reserved: empty by default, listed in the catalogue like the others.
extern const char* const DefaultMessageTexts[MessageTextCount];

struct TMessageCatalogueRecord {
    const char* caption;
    int32_t slot;  // -1 opens a group
};
extern const TMessageCatalogueRecord MessageCatalogue[MessageCatalogueCount];

// "Section|Field".
extern const char* const ReportFieldKeys[ReportFieldKeyCount];
// "Name | Description".
extern const char* const TextVariables[TextVariableCount];
