// The GL side of the level renderer: client arrays and two texture units.
#include <GL/gl.h>
#include <GL/glext.h>

#include "app/FrameTimer.h"
#include "world/Renderer.h"

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
    // Lightmaps multiply the surface texture.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

    int32_t frame = int32_t(timer->frameCount);
    int count = collectVisibleLeaves();
    for (int i = 0; i < count; i++) {
        int leaf = visibleLeaves[i];
        drawLeafFaces(leaf, frame);
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
    stats.leavesDrawn = count;

    activeTexture(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    activeTexture(GL_TEXTURE0_ARB);
}

void Renderer::drawLeafFaces(int index, int32_t frame)
{
    const bsp::BspLeaf& leaf = leaves[index];
    for (int k = leaf.firstLeafFace; k < leaf.firstLeafFace + leaf.leafFaceCount; k++) {
        int f = leafFaces[k];
        const bsp::BspFace& face = faces[f];
        if (face.type == bsp::FacePatch || face.type == bsp::FaceBillboard)
            continue;
        // Several leaves list the same face: draw it once per frame.
        if (faceMarks[f] == frame)
            continue;
        faceMarks[f] = frame;

        const bsp::BspVertex* first = vertices + face.firstVertex;
        glVertexPointer(3, GL_FLOAT, sizeof(bsp::BspVertex), first->position);
        clientActiveTexture(GL_TEXTURE0_ARB);
        glTexCoordPointer(2, GL_FLOAT, sizeof(bsp::BspVertex), first->texCoord);
        clientActiveTexture(GL_TEXTURE1_ARB);
        glTexCoordPointer(2, GL_FLOAT, sizeof(bsp::BspVertex), first->lightmapCoord);

        activeTexture(GL_TEXTURE0_ARB);
        glBindTexture(GL_TEXTURE_2D, textureHandles[face.texture]);
        activeTexture(GL_TEXTURE1_ARB);
        // No lightmap: texture 0 has no image, so the unit passes colour through.
        bool lit = face.lightmap >= 0 && face.lightmap < lightmapCount;
        glBindTexture(GL_TEXTURE_2D, lit ? lightmapHandles[face.lightmap] : 0);

        glDrawElements(GL_TRIANGLES, face.meshVertexCount, GL_UNSIGNED_INT,
                       meshVertices + face.firstMeshVertex);
        stats.facesDrawn++;
    }
}
