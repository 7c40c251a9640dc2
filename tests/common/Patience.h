// How long any test waits for a condition: generous, as the build machine is small and
// busy; every wait ends as soon as its condition holds.
#pragma once

inline constexpr int Patience = 30000;
