#pragma once
// Whole numbers taken from files, scripts and sums of them, held inside the
// int range instead of overflowing: the one place the game clamps to int.
#include <cstdlib>

// Truncation toward zero that saturates at the int range (NaN gives 0).
inline int saturatedInt(double value)
{
    if (!(value == value))
        return 0;
    if (value >= 2147483647.0)
        return 2147483647;
    if (value <= -2147483648.0)
        return -2147483647 - 1;
    return static_cast<int>(value);
}

// A wider whole number held inside the int range.
inline int clampedInt(long long value)
{
    if (value > 2147483647LL)
        return 2147483647;
    if (value < -2147483647LL - 1)
        return -2147483647 - 1;
    return static_cast<int>(value);
}

// A sum of two file values, held inside the int range.
inline int clampedSum(long long a, long long b) { return clampedInt(a + b); }

// atoi's rules (leading blanks, a sign, digits up to the first non-digit),
// but held inside the int range; null reads as 0.
inline int clampedAtoi(const char* text)
{
    return text ? clampedInt(std::strtoll(text, nullptr, 10)) : 0;
}
