// The kinds of edit the offline editor opens. The CLient engine's parser states for an
// open-editor command carry the same numbers (protocol/CLient.h declares them from these).
#pragma once

#include <cstdint>

enum TEditKind : uint8_t {
    ekLine = 10,     // one line, P signed: maximum length, masked when P <= 0
    ekName = 11,     // name entry with completion
    ekShort = 12,    // short multi-line message
    ekLong = 13,     // long multi-line text with the save question
    ekWrapLine = 14, // one line whose last word is carried into the next edit
};
