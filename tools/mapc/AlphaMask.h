#pragma once
// The alpha of a face's picture, which cuts holes in its shadow (grates
// whose shader has "surfaceparm alphashadow").
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace mapc {

struct AlphaMask {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> alpha;  // row after row, as the picture is drawn

    // Light passes where the alpha at texture coordinate st (repeating) is under half.
    bool passesAt(const float st[2]) const
    {
        if (width <= 0 || height <= 0 || alpha.size() < static_cast<size_t>(width) * static_cast<size_t>(height))
            return true;
        const double s = st[0] - std::floor(st[0]), t = st[1] - std::floor(st[1]);
        if (std::isnan(s) || std::isnan(t)) return true;  // a coordinate past a float's range
        const int x = std::clamp(static_cast<int>(s * width), 0, width - 1);
        const int y = std::clamp(static_cast<int>(t * height), 0, height - 1);
        return alpha[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] < 128;
    }
};

} // namespace mapc
