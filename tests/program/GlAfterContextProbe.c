/* Preloaded into the game binary: every GL delete call made while no GL
 * context is current is written, one name a line, to the file named by
 * HALVEX_GL_PROBE, then passed on to the real function. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

typedef void* (*CurrentContextProc)(void);

static void noteWithoutContext(const char* name)
{
    static CurrentContextProc current;
    if (!current)
        current = (CurrentContextProc)dlsym(RTLD_DEFAULT, "glXGetCurrentContext");
    if (current && current())
        return;
    const char* path = getenv("HALVEX_GL_PROBE");
    FILE* out = path ? fopen(path, "a") : NULL;
    if (out) {
        fprintf(out, "%s\n", name);
        fclose(out);
    }
}

void glDeleteTextures(int n, const unsigned* textures)
{
    static void (*real)(int, const unsigned*);
    noteWithoutContext("glDeleteTextures");
    if (!real)
        real = (void (*)(int, const unsigned*))dlsym(RTLD_NEXT, "glDeleteTextures");
    if (real)
        real(n, textures);
}

void glDeleteLists(unsigned list, int range)
{
    static void (*real)(unsigned, int);
    noteWithoutContext("glDeleteLists");
    if (!real)
        real = (void (*)(unsigned, int))dlsym(RTLD_NEXT, "glDeleteLists");
    if (real)
        real(list, range);
}
