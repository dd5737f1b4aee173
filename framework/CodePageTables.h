#pragma once
// The platform's code page 936, one character at a time, to build the conversion tables.

#include <functional>

// Calls f(code, unicode) for every GBK character above 0x7F the platform converts: single bytes
// as their value, double bytes as lead << 8 | trail.
void ForEachGbkCharacter(const std::function<void(unsigned code, unsigned unicode)>& f);
