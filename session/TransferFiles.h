// Where received files go: names offered by the other side made safe, a private folder
// for the tool to write into, and the move into the download folder that never replaces
// a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The last part of an offered path, without control bytes and leading dots, at most 200
// bytes; "download" when nothing is left. It cannot name anything outside its folder.
std::string SafeFileName(std::string_view offered);
// "name (n).ext" (n > 0), the dot of a leading-dot-free name's last extension.
std::string NumberedName(const std::string &name, int n);

// Makes Folder and its parents (0700 for new ones); false with Error set when it cannot.
bool MakeFolder(const std::string &folder, std::string &error);
// A new hidden, private folder inside Folder; empty with Error set on failure.
std::string MakeStagingFolder(const std::string &folder, std::string &error);
// Names of the plain files in Folder.
std::vector<std::string> FilesIn(const std::string &folder);
// Size of a file, -1 when it is not there.
int64_t FileSize(const std::string &path);

// Moves From into Folder as Name, or as "Name (1).ext", "Name (2).ext" ... when that is
// taken: an existing file is never replaced. The path it got; empty with Error set.
std::string PlaceFile(const std::string &from, const std::string &folder, const std::string &name,
                      std::string &error);
