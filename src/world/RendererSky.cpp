// The GL side of the sky: the far box around the eye and the sky shader's
// cloud layers on a dome above it, behind everything the level draws.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>

#include "world/Camera.h"
#include "world/Renderer.h"
#include "world/StageGl.h"
#include "world/StageMotion.h"

namespace {

// One side of the sky box: the direction it faces and where the picture's
// top and right edges point, seen from inside.
struct SkySide {
    float out[3];
    float up[3];
    float right[3];
};

// +x, -x, +y, -y, +z, -z in the y-up frame, the order of SkyLook::box. In
// the file's frame: _rt east (+x), _bk north (+y), _lf west, _ft south;
// _up has its bottom edge to the east, _dn its top edge to the north.
const SkySide kSkySides[6] = {
    {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},   {{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}},
    {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}},  {{0, -1, 0}, {0, 0, -1}, {1, 0, 0}},
    {{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}},  {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
};

// Far enough past the near plane, well inside the far one.
const float kSkyDistance = 100.0f;

// The cloud layer is a shell this far above a ground curved with this
// radius; its pictures repeat every kCloudRepeat units across the shell.
const float kWorldRadius = 4096.0f;
const float kCloudRepeat = 4096.0f;
const int kDomeSlices = 24, kDomeStacks = 12;

} // namespace

// A box around the eye, without depth writes, so every pixel the level
// leaves open (its sky faces are not drawn) shows sky rather than black.
// Drawn first it covers the whole view; drawn behind the faces, at the far
// end of the depth range, it passes only where the depth is still clear.
void Renderer::drawSky(bool behindFaces)
{
    if (!sky.present)
        return;
    // Enables (of both units), depth state, depth range, blending and
    // colour come back as they were.
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_VIEWPORT_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT);
    activeTexture(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    activeTexture(GL_TEXTURE0_ARB);
    if (behindFaces) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDepthRange(1.0, 1.0);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    glDepthMask(GL_FALSE);
    glDisable(GL_CULL_FACE);

    const SurfaceLook* clouds = nullptr;
    if (sky.texture >= 0 && size_t(sky.texture) < looks.size() && !looks[size_t(sky.texture)].stages.empty())
        clouds = &looks[size_t(sky.texture)];
    // Cloud layers without a box cover the view themselves.
    if (!clouds || sky.box[0])
        drawSkyBox();
    if (clouds)
        drawCloudLayers(*clouds);
    glPopAttrib();
}

void Renderer::drawSkyBox()
{
    const Vector3& eye = camera->position;
    for (int i = 0; i < 6; i++) {
        const SkySide& side = kSkySides[i];
        unsigned picture = sky.box[i] ? sky.box[i] : sky.cloud;
        if (picture) {
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, picture);
            glColor3f(1.0f, 1.0f, 1.0f);
        } else {
            glDisable(GL_TEXTURE_2D);
            glColor3fv(sky.colour);
        }
        const float* o = side.out;
        const float* u = side.up;
        const float* r = side.right;
        // Box pictures are clamped to their side; a cloud picture repeats.
        float repeat = sky.box[i] ? 1.0f : 2.0f;
        glBegin(GL_QUADS);
        const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (const auto& c : corners) {
            float a = 2.0f * c[0] - 1.0f, b = 2.0f * c[1] - 1.0f;
            glTexCoord2f(c[0] * repeat, c[1] * repeat);
            glVertex3f(eye.x + kSkyDistance * (o[0] + a * r[0] + b * u[0]),
                       eye.y + kSkyDistance * (o[1] + a * r[1] + b * u[1]),
                       eye.z + kSkyDistance * (o[2] + a * r[2] + b * u[2]));
        }
        glEnd();
    }
}

// Each cloud stage on a sphere around the eye, its picture placed where the
// line of sight meets a cloud shell at the shader's height: overhead the
// picture is near, toward the horizon it recedes. Below the horizon the
// clouds are mirrored, so the dome closes without streaks.
void Renderer::drawCloudLayers(const SurfaceLook& look)
{
    float height = look.shader.cloudHeight;
    if (skyDomeHeight != height) {
        skyDomeHeight = height;
        skyDome.clear();
        skyDomeIndices.clear();
        for (int stack = 0; stack <= kDomeStacks; stack++) {
            float pitch = -1.5707963f + 3.1415927f * float(stack) / kDomeStacks;
            for (int slice = 0; slice <= kDomeSlices; slice++) {
                float yaw = 6.2831853f * float(slice) / kDomeSlices;
                // y-up direction; the file's frame has z up and y = -z here.
                float dx = std::cos(pitch) * std::cos(yaw), dz = std::cos(pitch) * std::sin(yaw);
                float dy = std::sin(pitch);
                float rise = std::fabs(dy) > 0.05f ? std::fabs(dy) : 0.05f;
                float along = -kWorldRadius * rise +
                              std::sqrt(kWorldRadius * kWorldRadius * rise * rise + 2.0f * kWorldRadius * height +
                                        height * height);
                float s = along * dx / kCloudRepeat, t = along * -dz / kCloudRepeat;
                // Stored t negated, as the level's picture coordinates are.
                skyDome.insert(skyDome.end(), {dx * kSkyDistance, dy * kSkyDistance, dz * kSkyDistance, s, -t});
            }
        }
        for (int stack = 0; stack < kDomeStacks; stack++)
            for (int slice = 0; slice < kDomeSlices; slice++) {
                uint32_t a = uint32_t(stack * (kDomeSlices + 1) + slice), b = a + kDomeSlices + 1;
                skyDomeIndices.insert(skyDomeIndices.end(), {a, b, a + 1, a + 1, b, b + 1});
            }
    }

    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    clientActiveTexture(GL_TEXTURE1_ARB);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    clientActiveTexture(GL_TEXTURE0_ARB);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 5 * sizeof(float), skyDome.data());
    glTexCoordPointer(2, GL_FLOAT, 5 * sizeof(float), skyDome.data() + 3);
    glEnable(GL_TEXTURE_2D);
    glPushMatrix();
    glTranslatef(camera->position.x, camera->position.y, camera->position.z);
    float time = frameSeconds();
    for (size_t s = 0; s < look.shader.stages.size(); s++) {
        const ShaderStage& stage = look.shader.stages[s];
        const StageLook& frames = look.stages[s];
        unsigned picture = frames.frameCount > 0 ? frames.frames[animationFrame(stage, frames.frameCount, time)] : 0;
        if (!picture)
            continue;
        glBindTexture(GL_TEXTURE_2D, picture);
        applyStageBlend(stage);
        float rgba[4];
        stageColour(stage, time, rgba);
        glColor4fv(rgba);
        float matrix[16];
        glMatrixMode(GL_TEXTURE);
        if (stageTextureMatrix(stage, time, true, matrix))
            glLoadMatrixf(matrix);
        else
            glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glDrawElements(GL_TRIANGLES, GLsizei(skyDomeIndices.size()), GL_UNSIGNED_INT, skyDomeIndices.data());
    }
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
}
