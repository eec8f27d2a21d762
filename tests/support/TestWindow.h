#pragma once
// One real SDL window with its GL context for a whole test program, opened
// before the first test and closed after the last.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include "platform/OglSdl.h"
#include "resources/TextureManager.h"

class TestWindow : public ::testing::Environment {
public:
    TestWindow(const char* title, int width, int height)
        : title(title), width(width), height(height) {}

    void SetUp() override
    {
        window = new OglSdl();
        ASSERT_TRUE(window->createWindow(title, width, height, 24, 45.0f));
        glEnable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 1);
    }
    void TearDown() override
    {
        // Textures go with the context.
        TextureManager::get().releaseAll();
        delete window;
        window = nullptr;
    }

    OglSdl* window = nullptr;

private:
    const char* title;
    int width, height;
};
