// Whether a GL context is current, so destructors can skip GL calls at exit.
#include "platform/GlContext.h"

#include <GL/glx.h>

bool glContextCurrent()
{
    // SDL makes its contexts through GLX on X11.
    return glXGetCurrentContext() != nullptr;
}
