// Content and surface bits from shader surfaceparms and tool texture names.
#include "ContentFlags.h"
#include <cstring>
#include <strings.h>

namespace mapc {

namespace {

struct SurfaceParm {
    const char* name;
    uint32_t addContents;
    uint32_t clearContents;
    uint32_t addFlags;
};

// Liquids, fog and clip volumes are not solid; "trans" keeps the solid bit
// but lets sight (and the visibility tree) through.
const SurfaceParm kParms[] = {
    {"water", kContentsWater, kContentsSolid, 0},
    {"slime", kContentsSlime, kContentsSolid, 0},
    {"lava", kContentsLava, kContentsSolid, 0},
    {"fog", kContentsFog, kContentsSolid, 0},
    {"playerclip", kContentsPlayerClip, kContentsSolid, 0},
    {"monsterclip", kContentsMonsterClip, kContentsSolid, 0},
    {"botclip", kContentsBotClip, kContentsSolid, 0},
    {"nodrop", kContentsNoDrop, kContentsSolid, 0},
    {"nonsolid", 0, kContentsSolid, kSurfNonSolid},
    {"trigger", kContentsTrigger, kContentsSolid, 0},
    {"origin", kContentsOrigin, kContentsSolid, 0},
    {"areaportal", kContentsAreaPortal, kContentsSolid, 0},
    {"clusterportal", kContentsClusterPortal, kContentsSolid, 0},
    {"donotenter", kContentsDoNotEnter, kContentsSolid, 0},
    {"antiportal", 0, kContentsSolid, 0},
    {"trans", kContentsTranslucent, 0, 0},
    {"detail", kContentsDetail, 0, 0},
    {"structural", kContentsStructural, 0, 0},
    {"nodraw", 0, 0, kSurfNoDraw},
    {"sky", 0, 0, kSurfSky},
    {"hint", 0, 0, kSurfHint},
    {"skip", 0, 0, kSurfSkip},
    {"nolightmap", 0, 0, kSurfNoLightmap},
    {"nomarks", 0, 0, kSurfNoMarks},
    {"noimpact", 0, 0, kSurfNoImpact},
    {"nodamage", 0, 0, kSurfNoDamage},
    {"slick", 0, 0, kSurfSlick},
    {"ladder", 0, 0, kSurfLadder},
    {"flesh", 0, 0, kSurfFlesh},
    {"pointlight", 0, 0, kSurfPointLight},
    {"metalsteps", 0, 0, kSurfMetalSteps},
    {"nosteps", 0, 0, kSurfNoSteps},
    {"lightfilter", 0, 0, kSurfLightFilter},
    {"alphashadow", 0, 0, kSurfAlphaShadow},
    {"nodlight", 0, 0, kSurfNoDLight},
    {"dust", 0, 0, kSurfDust},
    {"lightgrid", 0, 0, 0},
};

bool startsWith(const char* s, const char* prefix) { return strncasecmp(s, prefix, std::strlen(prefix)) == 0; }

// Tool textures by the start of their name, first match: the surfaceparms
// each stands for.
struct ToolTexture {
    const char* prefix;
    const char* parms[6];  // null past the last
};

const ToolTexture kToolTextures[] = {
    {"caulk", {"nodraw", "nolightmap", "nomarks"}},
    {"nodraw", {"nodraw", "nolightmap", "nomarks"}},
    {"weapclip", {"nodraw", "nolightmap", "nomarks", "trans"}},
    {"fullclip", {"nodraw", "nolightmap", "nomarks", "trans"}},
    {"clip", {"nodraw", "nolightmap", "nomarks", "nonsolid", "trans", "playerclip"}},
    {"playerclip", {"nodraw", "nolightmap", "nomarks", "nonsolid", "trans", "playerclip"}},
    {"monsterclip", {"nodraw", "nolightmap", "nomarks", "nonsolid", "trans", "monsterclip"}},
    {"trigger", {"nodraw", "nolightmap", "nomarks", "nonsolid", "trans", "trigger"}},
    {"hint", {"nodraw", "nolightmap", "nonsolid", "trans", "hint"}},
    {"skip", {"nodraw", "nolightmap", "nonsolid", "trans", "skip"}},
    {"areaportal", {"nodraw", "nolightmap", "nonsolid", "trans", "areaportal"}},
    {"clusterportal", {"nodraw", "nolightmap", "nonsolid", "trans", "clusterportal"}},
    {"origin", {"nodraw", "nolightmap", "nonsolid", "trans", "origin"}},
    {"donotenter", {"nodraw", "nolightmap", "nonsolid", "trans", "donotenter"}},
};

const char* const kSkyParms[] = {"sky", "nolightmap", "noimpact", "nomarks", nullptr};

} // namespace

bool applySurfaceParm(const char* name, TextureTraits& t)
{
    for (const SurfaceParm& p : kParms) {
        if (strcasecmp(name, p.name) != 0) continue;
        t.contents = (t.contents & ~p.clearContents) | p.addContents;
        t.flags |= p.addFlags;
        return true;
    }
    return false;
}

TextureTraits toolTextureTraits(const char* fullName)
{
    const char* slash = std::strrchr(fullName, '/');
    const char* name = slash ? slash + 1 : fullName;
    TextureTraits t;
    auto apply = [&](const char* const* parms) {
        for (int i = 0; i < 6 && parms[i]; ++i) applySurfaceParm(parms[i], t);
    };
    for (const ToolTexture& tool : kToolTextures) {
        if (startsWith(name, tool.prefix)) {
            apply(tool.parms);
            return t;
        }
    }
    if (startsWith(name, "sky") || std::strstr(name, "_sky") || startsWith(fullName, "skies/"))
        apply(kSkyParms);
    return t;
}

} // namespace mapc
