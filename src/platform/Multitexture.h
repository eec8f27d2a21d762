#pragma once
// The two ARB multitexture entry points, fetched from the driver at start-up.

// The type of both entry points (GLenum argument); the level renderer and
// the sprite batch draw with them. Without both the program cannot run.
typedef void (*ActiveTextureProc)(unsigned int texture);

struct MultitextureEntryPoints {
    ActiveTextureProc activeTexture = nullptr;        // glActiveTextureARB
    ActiveTextureProc clientActiveTexture = nullptr;  // glClientActiveTextureARB
    bool ready = false;
};

// Looks a GL function up by name; SDL_GL_GetProcAddress in the program.
typedef void* (*ProcLookup)(const char* name);

// Fetches both entry points into out and logs one red line for each one
// missing. True only when both were found.
bool fetchMultitexture(MultitextureEntryPoints& out, ProcLookup lookup = nullptr);
