#include "config/SetHost.h"
// Work in progress: bodies follow.
THostInfo *HostInfo = nullptr;
THostInfo::THostInfo(std::string f, const std::vector<std::string> &) : FIni(std::move(f)) {}
THostInfo::~THostInfo() = default;
