// Brightening a level's lightmaps and vertex colours by its overbright factor.
#include "world/Overbright.h"

#include <cstddef>

#include "world/BspData.h"

OverbrightSplit splitOverbright(float total)
{
    OverbrightSplit split;
    if (total >= kDrawOverbright)
        split.draw = kDrawOverbright;
    split.data = total / split.draw;
    return split;
}

void brightenColour(uint8_t* rgb, float factor)
{
    float scaled[3];
    for (int c = 0; c < 3; ++c)
        scaled[c] = float(rgb[c]) * factor;
    clampColour(scaled, rgb);
}

void brightenLevelLight(BspData& data, float factor)
{
    if (factor == 1.0f)
        return;
    if (data.lightmaps) {
        size_t texels = size_t(data.lightmapCount) * bsp::kLightmapSize * bsp::kLightmapSize;
        for (size_t i = 0; i < texels; ++i)
            brightenColour(data.lightmaps + i * 3, factor);
    }
    if (data.vertices)
        for (int32_t i = 0; i < data.vertexCount; ++i)
            brightenColour(data.vertices[i].color, factor);
}
