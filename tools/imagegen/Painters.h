#pragma once
// The painters of every image the game reads.
#include "Image.h"

// Every image the game reads, painted by procedure. Paths are relative to
// baseq3/textures; a level names the surface ones as "halvex/floor" etc.:
//   particle.tga  soft round sprite (RGBA)
//   cross.tga     crosshair (RGBA)
//   enemy.tga     enemy sphere skin, lopsided so its spin shows
//   logo.tga      menu background with the name Halvex
//   arrow.tga     mouse pointer, hot spot at the top-left (RGBA)
//   halvex/floor.tga, halvex/wall.tga, halvex/trim.tga, halvex/metal.tga
struct PaintedImage {
    const char* path;
    Image (*paint)();
};

extern const PaintedImage kPaintedImages[];
extern const int kPaintedImageCount;

Image paintParticle();
Image paintCross();
Image paintEnemy();
Image paintLogo();
Image paintArrow();
Image paintFloor();
Image paintWall();
Image paintTrim();
Image paintMetal();
