// The GL side of faces whose shader asks for more than picture x lightmap:
// each stage in order with its blending, tests, colours and coordinates.
// Faces of one look and lightmap are gathered into one draw per stage; only
// deformed faces, environment coordinates and mixed colours are worked out
// vertex by vertex.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdint>

#include "app/FrameTimer.h"
#include "world/Camera.h"
#include "world/Renderer.h"
#include "world/StageGl.h"
#include "world/StageMotion.h"
#include "world/StageVertices.h"

namespace {

// A vertex-lit face without a shader of its own: its picture times its
// vertex colours.
ShaderStage vertexLitStage()
{
    ShaderStage stage;
    stage.rgbGen = ColourGen::Vertex;
    return stage;
}
const ShaderStage kVertexLit = vertexLitStage();

const int kVertexStride = int(sizeof(bsp::BspVertex));

} // namespace

float Renderer::frameSeconds() const { return timer ? timer->now : 0.0f; }

// Sets what the stage draws with; texture unit 0 is the active one.
bool Renderer::applyStage(const SurfaceLook& look, int index, int texture, unsigned lightmap, bool lit,
                          const float* texCoords, const float* lightmapCoords, int coordStride,
                          const uint8_t* colours, int colourStride)
{
    const ShaderStage& stage = index < 0 ? kVertexLit : look.shader.stages[size_t(index)];
    float time = frameSeconds();
    unsigned picture = 0;
    bool vertexColour = colourFromVertices(stage) || colourMixed(stage);
    if (index < 0) {
        picture = textureHandles[texture];
    } else if (stage.lightmap) {
        // A vertex-lit face lights its lightmap stage with its vertex colours.
        picture = lit ? lightmap : whiteTexture;
        vertexColour = vertexColour || !lit;
    } else if (stage.white) {
        picture = whiteTexture;
    } else {
        const StageLook& frames = look.stages[size_t(index)];
        if (frames.frameCount > 0)
            picture = frames.frames[animationFrame(stage, frames.frameCount, time)];
        // A missing picture: an opaque stage falls back to the record's own.
        if (!picture && !stage.blended)
            picture = textureHandles[texture];
    }
    if (!picture)
        return false;
    glBindTexture(GL_TEXTURE_2D, picture);

    applyStageBlend(stage);
    // The drawn part of the overbright factor: vertex-lit faces and the
    // stages carrying light. A filter counted twice (dst x src + src x dst)
    // doubles the product without clamping the light first.
    float scale = drawnLightScale();
    LightScaling light = index < 0 ? LightScaling::Colour : look.stages[size_t(index)].light;
    if (light == LightScaling::Filter && scale == 2.0f)
        glBlendFunc(GL_DST_COLOR, GL_SRC_COLOR);
    applyLightScale(light == LightScaling::Colour ? scale : 1.0f);
    if (stage.alphaTest == AlphaTest::None) {
        glDisable(GL_ALPHA_TEST);
    } else {
        glEnable(GL_ALPHA_TEST);
        if (stage.alphaTest == AlphaTest::Gt0)
            glAlphaFunc(GL_GREATER, 0.0f);
        else
            glAlphaFunc(stage.alphaTest == AlphaTest::Lt128 ? GL_LESS : GL_GEQUAL, 0.5f);
    }
    glDepthMask(stage.depthWrite ? GL_TRUE : GL_FALSE);
    glDepthFunc(stage.depthEqual ? GL_EQUAL : GL_LEQUAL);

    if (vertexColour) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, colourStride, colours);
    } else {
        glDisableClientState(GL_COLOR_ARRAY);
        float rgba[4];
        stageColour(stage, time, rgba);
        glColor4fv(rgba);
    }
    bool onLightmap = stage.tcGen == TexGen::Lightmap;
    glTexCoordPointer(2, GL_FLOAT, coordStride, onLightmap ? lightmapCoords : texCoords);
    float matrix[16];
    bool moved = stageTextureMatrix(stage, time, !onLightmap, matrix);
    // Picture t is stored negated (pictures are uploaded bottom row first),
    // which repeating wraps back into 0..1; a clamped picture needs the
    // whole step of 1 or it shows only its edge row.
    bool shiftT = stage.clamp && !onLightmap;
    glMatrixMode(GL_TEXTURE);
    if (moved || shiftT) {
        if (!moved) {
            std::fill(matrix, matrix + 16, 0.0f);
            matrix[0] = matrix[5] = matrix[10] = matrix[15] = 1.0f;
        }
        if (shiftT)
            matrix[13] += 1.0f;
        glLoadMatrixf(matrix);
    } else {
        glLoadIdentity();
    }
    glMatrixMode(GL_MODELVIEW);
    return true;
}

void Renderer::drawStagedFaces(std::vector<int32_t>& list, bool blended)
{
    if (list.empty())
        return;
    if (blended) {
        // By sort, then far to near.
        struct Keyed {
            float sort, distance;
            int32_t face;
        };
        const Vector3 eye = camera->position;
        std::vector<Keyed> keyed;
        keyed.reserve(list.size());
        for (int32_t f : list) {
            float distance = faceCentres.empty() ? 0.0f : (faceCentres[size_t(f)] - eye).length();
            keyed.push_back({looks[size_t(faces[f].texture)].sort, distance, f});
        }
        std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
            if (a.sort != b.sort)
                return a.sort < b.sort;
            return a.distance != b.distance ? a.distance > b.distance : a.face < b.face;
        });
        for (size_t i = 0; i < keyed.size(); i++)
            list[i] = keyed[i].face;
    } else {
        // Gathered by look and lightmap; the depth test keeps the picture.
        // Face order decides between coplanar faces, whatever the walk's order.
        std::sort(list.begin(), list.end(), [this](int32_t a, int32_t b) {
            const bsp::BspFace& fa = faces[a];
            const bsp::BspFace& fb = faces[b];
            if (fa.texture != fb.texture)
                return fa.texture < fb.texture;
            return fa.lightmap != fb.lightmap ? fa.lightmap < fb.lightmap : a < b;
        });
    }

    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT |
                 GL_CURRENT_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    activeTexture(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    clientActiveTexture(GL_TEXTURE1_ARB);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    activeTexture(GL_TEXTURE0_ARB);
    clientActiveTexture(GL_TEXTURE0_ARB);
    glEnable(GL_TEXTURE_2D);

    size_t start = 0;
    while (start < list.size()) {
        const bsp::BspFace& first = faces[list[start]];
        size_t end = start + 1;
        while (end < list.size() && faces[list[end]].texture == first.texture &&
               faces[list[end]].lightmap == first.lightmap)
            end++;
        drawStagedGroup(list.data() + start, int(end - start));
        start = end;
    }

    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    applyLightScale(1.0f);
    glPopClientAttrib();
    glPopAttrib();
    activeTexture(GL_TEXTURE0_ARB);
    clientActiveTexture(GL_TEXTURE0_ARB);
    list.clear();
}

// The faces' triangles as indices counted from vertex 0, into groupIndices.
void Renderer::gatherIndices(const int32_t* list, int count)
{
    groupIndices.clear();
    for (int i = 0; i < count; i++) {
        const bsp::BspFace& face = faces[list[i]];
        const int32_t* local = meshVertices + face.firstMeshVertex;
        for (int k = 0; k < face.meshVertexCount; k++)
            groupIndices.push_back(uint32_t(face.firstVertex + local[k]));
    }
}

// Faces of one texture record and lightmap.
void Renderer::drawStagedGroup(const int32_t* list, int count)
{
    const bsp::BspFace& first = faces[list[0]];
    const SurfaceLook& look = looks[size_t(first.texture)];
    if (!look.staged) {
        drawVertexLit(list, count);
        return;
    }
    bool lit = first.lightmap >= 0 && first.lightmap < lightmapCount;
    unsigned lightmap = lit ? lightmapHandles[first.lightmap] : 0;
    const ShaderInfo& shader = look.shader;
    if (shader.cull == CullMode::None) {
        glDisable(GL_CULL_FACE);
    } else {
        glEnable(GL_CULL_FACE);
        glCullFace(shader.cull == CullMode::Front ? GL_FRONT : GL_BACK);
    }
    if (shader.polygonOffset) {
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(-1.0f, -2.0f);
    } else {
        glDisable(GL_POLYGON_OFFSET_FILL);
    }

    if (look.cpuVertices) {
        for (int i = 0; i < count; i++)
            drawFaceOnCpu(look, first.texture, faces[list[i]]);
        return;
    }
    gatherIndices(list, count);
    glVertexPointer(3, GL_FLOAT, kVertexStride, vertices[0].position);
    for (int s = 0; s < int(shader.stages.size()); s++) {
        if (!applyStage(look, s, first.texture, lightmap, lit, vertices[0].texCoord, vertices[0].lightmapCoord,
                        kVertexStride, vertices[0].color, kVertexStride))
            continue;
        glDrawElements(GL_TRIANGLES, GLsizei(groupIndices.size()), GL_UNSIGNED_INT, groupIndices.data());
        stats.stageDraws++;
    }
}

// Faces without a lightmap and without stages: picture times vertex colour.
void Renderer::drawVertexLit(const int32_t* list, int count)
{
    const bsp::BspFace& first = faces[list[0]];
    gatherIndices(list, count);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    glVertexPointer(3, GL_FLOAT, kVertexStride, vertices[0].position);
    if (!applyStage(looks[size_t(first.texture)], -1, first.texture, 0, false, vertices[0].texCoord,
                    vertices[0].lightmapCoord, kVertexStride, vertices[0].color, kVertexStride))
        return;
    glDrawElements(GL_TRIANGLES, GLsizei(groupIndices.size()), GL_UNSIGNED_INT, groupIndices.data());
    stats.stageDraws++;
}

// Deformed positions, environment coordinates or mixed colours, vertex by
// vertex into the scratch arrays; the face's own indices then draw them.
void Renderer::drawFaceOnCpu(const SurfaceLook& look, int texture, const bsp::BspFace& face)
{
    int n = face.vertexCount;
    if (n <= 0 || face.meshVertexCount <= 0)
        return;
    const int32_t* indices = meshVertices + face.firstMeshVertex;
    for (int i = 0; i < face.meshVertexCount; i++)
        if (indices[i] < 0 || indices[i] >= n)
            return;  // reaches past its own vertices: not worked out here
    const bsp::BspVertex* source = vertices + face.firstVertex;
    float time = frameSeconds();
    cpuPositions.resize(size_t(n) * 3);
    cpuTexCoords.resize(size_t(n) * 2);
    cpuLightmapCoords.resize(size_t(n) * 2);
    cpuColours.resize(size_t(n) * 4);
    StageView view{camera->position, camera->right, camera->trueUp};
    deformVertices(look.shader, source, n, view, time, cpuPositions.data());
    for (int i = 0; i < n; i++) {
        cpuLightmapCoords[size_t(i) * 2] = source[i].lightmapCoord[0];
        cpuLightmapCoords[size_t(i) * 2 + 1] = source[i].lightmapCoord[1];
    }
    bool lit = face.lightmap >= 0 && face.lightmap < lightmapCount;
    unsigned lightmap = lit ? lightmapHandles[face.lightmap] : 0;
    glVertexPointer(3, GL_FLOAT, 0, cpuPositions.data());
    for (int s = 0; s < int(look.shader.stages.size()); s++) {
        const ShaderStage& stage = look.shader.stages[size_t(s)];
        stageTexCoords(stage, source, n, cpuPositions.data(), view.eye, cpuTexCoords.data());
        stageVertexColours(stage, source, n, time, cpuColours.data());
        if (!applyStage(look, s, texture, lightmap, lit, cpuTexCoords.data(), cpuLightmapCoords.data(),
                        0, cpuColours.data(), 0))
            continue;
        glDrawElements(GL_TRIANGLES, face.meshVertexCount, GL_UNSIGNED_INT, indices);
        stats.stageDraws++;
    }
}
