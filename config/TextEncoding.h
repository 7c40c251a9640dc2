// The settings file's one encoding: UTF-8. Files of older versions held Latin-1, so a
// value that is not valid UTF-8 is taken as Latin-1; names compare without regard to
// letter case.
#pragma once

#include <string>
#include <string_view>

bool IsValidUtf8(std::string_view bytes);

// Valid UTF-8 as it is; anything else read as Latin-1 and converted.
std::string TextFromStored(std::string_view bytes);

// Orders names without regard to case (<0, 0, >0): ASCII, Latin-1, Latin Extended-A,
// Greek and Cyrillic letters fold to their capitals; names that are not valid UTF-8
// are read as Latin-1, so an older file's "J\xF6rg" matches "Jörg".
int CompareFoldedNames(std::string_view a, std::string_view b);
