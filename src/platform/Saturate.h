#pragma once

// Truncation toward zero that saturates at the int range (NaN gives 0), for
// values read from map files that may be anything.
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
