#pragma once
#include <cstdint>

// Deterministic generator (an LCG), so every run measures the same bytes.
struct Lcg
{
    explicit Lcg(uint32_t seed) : s(seed) {}
    uint32_t s;
    uint32_t Next(uint32_t n)
    {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) % n;
    }
};
