#pragma once
// The overbright step: lightmaps and vertex colours brightened as plain code.
#include <algorithm>
#include <cstdint>

struct BspData;

// Lightmaps and vertex colours of this level format are stored darker than
// they are meant to be seen: the engines they were made for brighten them by
// an "overbright" factor. Part of it is applied to the data at load (this
// step, as plain code), the rest when drawing: texture x light x 2, so a lit
// surface may pass its texture's own colour.

// The total factor levels are brightened by unless settings.lua says
// otherwise (setOverbright); the level compiler stores its lightmaps divided by it.
constexpr float kDefaultOverbright = 4.0f;
// setOverbright takes factors in (0, kMaxOverbright].
constexpr float kMaxOverbright = 16.0f;
// The part of a total of at least this much applied when drawing.
constexpr float kDrawOverbright = 2.0f;

// A total factor split into what brightens the data at load and what scales
// texture x light when drawing (1 or kDrawOverbright); data x draw = total.
struct OverbrightSplit {
    float data = 1.0f;
    float draw = 1.0f;
};
OverbrightSplit splitOverbright(float total);

// An RGB colour (0 and up) rounded to bytes; a colour whose largest channel
// would pass 255 is scaled down as a whole, so its hue is kept. Shared with
// the level compiler, which stores light past full the same way.
inline void clampColour(const float* scaled, uint8_t* rgb)
{
    float top = std::max(scaled[0], std::max(scaled[1], scaled[2]));
    float fit = top > 255.0f ? 255.0f / top : 1.0f;
    for (int c = 0; c < 3; ++c)
        rgb[c] = uint8_t(std::min(255.0f, std::max(0.0f, scaled[c]) * fit + 0.5f));
}

// One RGB colour times the factor, rounded; a colour whose largest channel
// would pass 255 is scaled down as a whole, so its hue is kept.
void brightenColour(uint8_t* rgb, float factor);

// Every lightmap texel and every vertex colour (alpha untouched). Lightmaps
// kept beside a level as pictures are brightened by the loader as it reads them.
void brightenLevelLight(BspData& data, float factor);
