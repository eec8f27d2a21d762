// Vertex deforms, environment mapping and stage colours on the CPU.
#include "world/StageVertices.h"

#include <cmath>

#include "world/StageMotion.h"

namespace {

Vector3 positionOf(const bsp::BspVertex& v) { return {v.position[0], v.position[1], v.position[2]}; }

// Normals are kept in the file's z-up frame.
Vector3 normalOf(const bsp::BspVertex& v) { return fromFileFrame(v.normal[0], v.normal[1], v.normal[2]); }

Vector3 normalised(const Vector3& v)
{
    float length = v.length();
    return length > 1e-6f ? v * (1.0f / length) : Vector3(0, 0, 0);
}

void store(float* positions, int i, const Vector3& p)
{
    positions[i * 3] = p.x, positions[i * 3 + 1] = p.y, positions[i * 3 + 2] = p.z;
}

Vector3 load(const float* positions, int i) { return {positions[i * 3], positions[i * 3 + 1], positions[i * 3 + 2]}; }

// Each run of four vertices turned to face the camera, keeping its size and
// each corner's picture coordinates. autosprite2 keeps the quad's long axis
// and turns it about that axis only.
void faceCamera(float* positions, int n, const StageView& view, bool aboutLongAxis)
{
    for (int q = 0; q + 4 <= n; q += 4) {
        Vector3 corner[4];
        Vector3 centre(0, 0, 0);
        for (int k = 0; k < 4; k++) {
            corner[k] = load(positions, q + k);
            centre += corner[k] * 0.25f;
        }
        Vector3 edge1 = corner[1] - corner[0], edge2 = corner[2] - corner[1];
        Vector3 normal = normalised(edge1.cross(edge2));
        Vector3 axisA = normalised(edge1);
        Vector3 axisB = normal.cross(axisA);
        if (aboutLongAxis && edge2.lengthSquared() > edge1.lengthSquared())
            std::swap(axisA, axisB);
        Vector3 right = view.right, up = view.up;
        if (aboutLongAxis) {
            // The long axis stays; the short one turns across the view.
            up = axisA;
            right = normalised(axisA.cross(view.eye - centre));
            if (right.lengthSquared() == 0.0f)
                continue;
        }
        for (int k = 0; k < 4; k++) {
            Vector3 offset = corner[k] - centre;
            float a = offset.dot(axisA), b = offset.dot(axisB);
            Vector3 p = aboutLongAxis ? centre + up * a + right * b : centre + right * a + up * b;
            store(positions, q + k, p);
        }
    }
}

} // namespace

void deformVertices(const ShaderInfo& shader, const bsp::BspVertex* source, int n, const StageView& view,
                    float time, float* positions)
{
    for (int i = 0; i < n; i++)
        store(positions, i, positionOf(source[i]));
    for (const Deform& deform : shader.deforms) {
        if (deform.kind == DeformKind::Wave) {
            for (int i = 0; i < n; i++) {
                Vector3 p = load(positions, i);
                // The phase runs along x + y + z of the file's frame.
                float along = (p.x - p.z + p.y) * deform.spread;
                float v = waveValue(deform.wave, time, along);
                store(positions, i, p + normalOf(source[i]) * v);
            }
        } else {
            faceCamera(positions, n, view, deform.kind == DeformKind::Autosprite2);
        }
    }
}

void stageTexCoords(const ShaderStage& stage, const bsp::BspVertex* source, int n, const float* positions,
                    const Vector3& eye, float* coords)
{
    for (int i = 0; i < n; i++) {
        float s = source[i].texCoord[0], t = source[i].texCoord[1];
        if (stage.tcGen == TexGen::Lightmap) {
            s = source[i].lightmapCoord[0], t = source[i].lightmapCoord[1];
        } else if (stage.tcGen == TexGen::Environment) {
            // The view reflected in the surface, in the file's frame.
            Vector3 toEye = normalised(eye - load(positions, i));
            Vector3 normal = normalOf(source[i]);
            Vector3 r = normal * (2.0f * normal.dot(toEye)) - toEye;
            // File y is -z here, file z is y; t is stored negated.
            s = 0.5f + (-r.z) * 0.5f;
            t = -(0.5f - r.y * 0.5f);
        }
        coords[i * 2] = s, coords[i * 2 + 1] = t;
    }
}

void stageVertexColours(const ShaderStage& stage, const bsp::BspVertex* source, int n, float time, uint8_t* colours)
{
    float rgba[4];
    stageColour(stage, time, rgba);
    uint8_t constant[4];
    for (int c = 0; c < 4; c++)
        constant[c] = uint8_t(rgba[c] * 255.0f + 0.5f);
    bool rgbFromVertex = stage.rgbGen == ColourGen::Vertex || stage.lightmap;
    bool alphaFromVertex = stage.alphaGen == ColourGen::Vertex ||
                           (stage.alphaGen == ColourGen::Identity && rgbFromVertex);
    for (int i = 0; i < n; i++) {
        for (int c = 0; c < 3; c++)
            colours[i * 4 + c] = rgbFromVertex ? source[i].color[c] : constant[c];
        colours[i * 4 + 3] = alphaFromVertex ? source[i].color[3] : constant[3];
    }
}
