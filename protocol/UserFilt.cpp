#include "protocol/UserFilt.h"
// Work in progress: bodies follow.
TUserFilter *UserFilter = nullptr;
TUserFilter::TUserFilter(std::string f) : FIni(std::move(f)) {}
bool TUserFilter::Accepts(std::string_view, unsigned char) const { return true; }
