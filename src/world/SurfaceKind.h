#pragma once
// Which faces are drawn, from their texture record's flags.
#include <cstdint>

#include "world/BspFormat.h"

// How a face is drawn, from the flags its texture record carries in the
// level: tool surfaces (nodraw, hint, skip) and fog volumes are not drawn,
// sky faces are covered by the sky drawn behind the level.
namespace bsp {
constexpr int32_t kSurfaceSky = 0x4;
constexpr int32_t kSurfaceNodraw = 0x80;
constexpr int32_t kSurfaceHint = 0x100;
constexpr int32_t kSurfaceSkip = 0x200;
constexpr int32_t kContentsFog = 0x40;
} // namespace bsp

enum FaceKind : uint8_t { FaceDrawn = 0, FaceHidden = 1, FaceSky = 2 };

inline FaceKind textureKind(const bsp::BspTexture& t)
{
    if (t.flags & (bsp::kSurfaceNodraw | bsp::kSurfaceHint | bsp::kSurfaceSkip))
        return FaceHidden;
    if (t.contents & bsp::kContentsFog)
        return FaceHidden;
    if (t.flags & bsp::kSurfaceSky)
        return FaceSky;
    return FaceDrawn;
}

// Billboards and patches that could not be turned into triangles are not
// drawn either.
inline FaceKind faceKind(const bsp::BspFace& f, const bsp::BspTexture* textures)
{
    if (f.type == bsp::FaceBillboard || f.meshVertexCount <= 0)
        return FaceHidden;
    return textureKind(textures[f.texture]);
}
