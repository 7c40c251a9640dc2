#include "config/IniFile.h"
// Work in progress: bodies follow.
TIniDocument TIniDocument::Parse(std::string_view) { return {}; }
std::string TIniDocument::Text() const { return {}; }
std::optional<std::string> TIniDocument::Find(std::string_view, std::string_view) const { return {}; }
std::string TIniDocument::ReadString(std::string_view, std::string_view, std::string_view d) const { return std::string(d); }
int TIniDocument::ReadInteger(std::string_view, std::string_view, int d) const { return d; }
bool TIniDocument::ReadBool(std::string_view, std::string_view, bool d) const { return d; }
TIniFile::TIniFile(std::string f) : FFileName(std::move(f)) {}
TIniDocument TIniFile::Load() const { return {}; }
std::string TIniFile::ReadString(std::string_view, std::string_view, std::string_view d) const { return std::string(d); }
int TIniFile::ReadInteger(std::string_view, std::string_view, int d) const { return d; }
bool TIniFile::ReadBool(std::string_view, std::string_view, bool d) const { return d; }
bool TIniFile::WriteString(std::string_view, std::string_view, std::string_view) { return false; }
bool TIniFile::WriteInteger(std::string_view, std::string_view, int) { return false; }
bool TIniFile::WriteBool(std::string_view, std::string_view, bool) { return false; }
bool TIniFile::EraseSection(std::string_view) { return false; }
bool TIniFile::Update(const std::function<void(TIniDocument &)> &) { return false; }
