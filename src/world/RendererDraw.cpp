// The GL side of the level renderer: client arrays and two texture units.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <cstring>

#include "app/FrameTimer.h"
#include "world/Camera.h"
#include "world/Renderer.h"
#include "world/StageGl.h"
#include "world/SurfaceKind.h"

namespace {

// GL copies the vertices a draw reaches from client memory, lowest to
// highest: a run may leave at most this many unused ones in between.
const int64_t kRunGap = 256;

} // namespace

void Renderer::renderLevel()
{
    stats = RenderStats();
    if (!isReady() || !camera || !frustum || !timer)
        return;

    glEnableClientState(GL_VERTEX_ARRAY);
    clientActiveTexture(GL_TEXTURE0_ARB);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    clientActiveTexture(GL_TEXTURE1_ARB);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    activeTexture(GL_TEXTURE0_ARB);
    glEnable(GL_TEXTURE_2D);
    activeTexture(GL_TEXTURE1_ARB);
    glEnable(GL_TEXTURE_2D);
    // Lightmaps multiply the surface texture, and the product is brightened
    // by what is left of the overbright factor.
    float scale = drawnLightScale();
    applyLightScale(scale);

    int32_t frame = int32_t(timer->frameCount);
    int count = collectVisibleLeaves();
    FaceBinds binds;
    stagedOpaque.clear();
    stagedBlended.clear();
    foggedFaces.clear();
    if (referenceDrawing) {
        drawSky(false);
        for (int i = 0; i < count; i++) {
            int leaf = visibleLeaves[i];
            drawLeafFaces(leaf, frame, binds);
            if (leafEntities[leaf].count > 0) {
                activeTexture(GL_TEXTURE1_ARB);
                glDisable(GL_TEXTURE_2D);
                activeTexture(GL_TEXTURE0_ARB);
                runLeafEntities(leaf);
                activeTexture(GL_TEXTURE1_ARB);
                glEnable(GL_TEXTURE_2D);
                glColor3f(1.0f, 1.0f, 1.0f);
            }
        }
        drawStagedFaces(stagedOpaque, false);
        drawStagedFaces(stagedBlended, true);
        drawFog();
    } else {
        // Opaque faces near to far: what they hide fails the depth test
        // before it is textured. The picture is the same, since every face
        // is opaque and depth-tested. Runs index the vertices from 0, so the
        // pointers are set once.
        glVertexPointer(3, GL_FLOAT, sizeof(bsp::BspVertex), vertices[0].position);
        clientActiveTexture(GL_TEXTURE0_ARB);
        glTexCoordPointer(2, GL_FLOAT, sizeof(bsp::BspVertex), vertices[0].texCoord);
        clientActiveTexture(GL_TEXTURE1_ARB);
        glTexCoordPointer(2, GL_FLOAT, sizeof(bsp::BspVertex), vertices[0].lightmapCoord);
        run.indices.clear();
        for (int i = count - 1; i >= 0; i--)
            drawLeafFaces(visibleLeaves[i], frame, binds);
        drawRun(binds);
        drawStagedFaces(stagedOpaque, false);
        // The sky only where no face was drawn: the pixels it used to
        // texture under the faces now fail the depth test. Blended faces
        // come after it, since they show what lies behind them.
        drawSky(true);
        drawStagedFaces(stagedBlended, true);
        drawFog();
        // Entities far to near as the walk found them, after every face, so
        // blending and what covers what stay as they were.
        bool unitOneOff = false;
        for (int i = 0; i < count; i++) {
            int leaf = visibleLeaves[i];
            if (leafEntities[leaf].count == 0)
                continue;
            if (!unitOneOff) {
                activeTexture(GL_TEXTURE1_ARB);
                glDisable(GL_TEXTURE_2D);
                activeTexture(GL_TEXTURE0_ARB);
                unitOneOff = true;
            }
            runLeafEntities(leaf);
        }
        if (unitOneOff) {
            activeTexture(GL_TEXTURE1_ARB);
            glEnable(GL_TEXTURE_2D);
            glColor3f(1.0f, 1.0f, 1.0f);
        }
    }
    stats.leavesDrawn = count;

    activeTexture(GL_TEXTURE1_ARB);
    if (scale != 1.0f)
        applyLightScale(1.0f);
    glDisable(GL_TEXTURE_2D);
    activeTexture(GL_TEXTURE0_ARB);
}

float Renderer::drawnLightScale()
{
    if (combineScale < 0) {
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        bool core = version && (version[0] > '1' || (version[0] == '1' && version[1] == '.' && version[2] >= '3'));
        combineScale = core || (extensions && std::strstr(extensions, "GL_ARB_texture_env_combine"));
    }
    return combineScale ? lightScale : 1.0f;
}

void Renderer::drawLeafFaces(int index, int32_t frame, FaceBinds& binds)
{
    const bsp::BspLeaf& leaf = leaves[index];
    for (int k = leaf.firstLeafFace; k < leaf.firstLeafFace + leaf.leafFaceCount; k++) {
        int f = leafFaces[k];
        const bsp::BspFace& face = faces[f];
        uint8_t kind = faceKinds ? faceKinds[f] : uint8_t(FaceDrawn);
        if (kind == FaceHidden)
            continue;
        // Several leaves list the same face: draw it once per frame.
        if (faceMarks[f] == frame)
            continue;
        faceMarks[f] = frame;
        if (kind == FaceSky) {
            stats.skyFacesSeen++;  // the sky behind the level shows here
            continue;
        }

        bool lit = face.lightmap >= 0 && face.lightmap < lightmapCount;
        if (face.effect >= 0 && size_t(face.effect) < fogs.size() && fogs[size_t(face.effect)].present)
            foggedFaces.push_back(f);
        // Shaders with more than picture x lightmap, and faces lit by
        // their vertices, are drawn stage by stage after the plain ones.
        if (!looks.empty()) {
            const SurfaceLook& look = looks[size_t(face.texture)];
            if (look.staged || !lit) {
                (look.blended ? stagedBlended : stagedOpaque).push_back(f);
                stats.facesDrawn++;
                stats.stagedFaces++;
                stats.blendedFaces += look.blended;
                stats.patchesDrawn += face.type == bsp::FacePatch;
                continue;
            }
        }
        unsigned texture = textureHandles[face.texture];
        // No lightmap: texture 0 has no image, so the unit passes colour through.
        unsigned lightmap = lit ? lightmapHandles[face.lightmap] : 0;
        if (referenceDrawing)
            drawFaceAlone(face, texture, lightmap);
        else
            addToRun(face, texture, lightmap, binds);
        stats.facesDrawn++;
        if (face.type == bsp::FacePatch)
            stats.patchesDrawn++;
    }
}

void Renderer::drawFaceAlone(const bsp::BspFace& face, unsigned texture, unsigned lightmap)
{
    const bsp::BspVertex* first = vertices + face.firstVertex;
    glVertexPointer(3, GL_FLOAT, sizeof(bsp::BspVertex), first->position);
    clientActiveTexture(GL_TEXTURE0_ARB);
    glTexCoordPointer(2, GL_FLOAT, sizeof(bsp::BspVertex), first->texCoord);
    clientActiveTexture(GL_TEXTURE1_ARB);
    glTexCoordPointer(2, GL_FLOAT, sizeof(bsp::BspVertex), first->lightmapCoord);
    activeTexture(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, texture);
    activeTexture(GL_TEXTURE1_ARB);
    glBindTexture(GL_TEXTURE_2D, lightmap);
    stats.faceBinds += 2;
    glDrawElements(GL_TRIANGLES, face.meshVertexCount, GL_UNSIGNED_INT,
                   meshVertices + face.firstMeshVertex);
    stats.faceDraws++;
}

void Renderer::addToRun(const bsp::BspFace& face, unsigned texture, unsigned lightmap,
                        FaceBinds& binds)
{
    const int32_t* local = meshVertices + face.firstMeshVertex;
    int64_t lowest = INT64_MAX, highest = INT64_MIN;
    for (int i = 0; i < face.meshVertexCount; i++) {
        int64_t v = int64_t(face.firstVertex) + local[i];
        lowest = v < lowest ? v : lowest;
        highest = v > highest ? v : highest;
    }
    if (face.meshVertexCount <= 0)
        return;
    int64_t span = highest - lowest + 1;
    if (!run.indices.empty()) {
        int64_t joined = (highest > run.highest ? highest : run.highest) -
                         (lowest < run.lowest ? lowest : run.lowest) + 1;
        bool same = texture == run.texture && lightmap == run.lightmap;
        if (!same || joined > run.vertices + span + kRunGap)
            drawRun(binds);
    }
    if (run.indices.empty()) {
        run.texture = texture;
        run.lightmap = lightmap;
        run.lowest = lowest;
        run.highest = highest;
        run.vertices = 0;
    }
    run.lowest = lowest < run.lowest ? lowest : run.lowest;
    run.highest = highest > run.highest ? highest : run.highest;
    run.vertices += span;
    for (int i = 0; i < face.meshVertexCount; i++)
        run.indices.push_back(uint32_t(face.firstVertex + local[i]));
}

void Renderer::drawRun(FaceBinds& binds)
{
    if (run.indices.empty())
        return;
    if (run.texture != binds.texture) {
        activeTexture(GL_TEXTURE0_ARB);
        glBindTexture(GL_TEXTURE_2D, run.texture);
        binds.texture = run.texture;
        stats.faceBinds++;
    }
    if (run.lightmap != binds.lightmap) {
        activeTexture(GL_TEXTURE1_ARB);
        glBindTexture(GL_TEXTURE_2D, run.lightmap);
        binds.lightmap = run.lightmap;
        stats.faceBinds++;
    }
    glDrawElements(GL_TRIANGLES, GLsizei(run.indices.size()), GL_UNSIGNED_INT, run.indices.data());
    stats.faceDraws++;
    run.indices.clear();
}
