#pragma once
// The thin GL layer every window and widget draws with (2D overlay mode).
#include "gui/GuiGeometry.h"

#include <string>

class Font;

// One quad in the colour.
void drawFilled(const GuiRect& rect, const GuiColour& colour);
// A line strip round the rect; the last vertex is one pixel left of the
// first so the closing line covers the corner pixel.
void drawOutline(const GuiRect& rect, const GuiColour& colour);
// Queues the text literally (no formatting) at the position truncated to
// whole pixels, in the colour's RGB.
void queueText(Font* font, GuiPoint position, const GuiColour& colour, const std::string& text);
// The size of the GL viewport the overlay is drawn into.
GuiPoint viewportSize();
// Draws the text queued so far with texturing on, then leaves texturing off
// and blending on for the quads that follow.
void flushText(Font* font);
