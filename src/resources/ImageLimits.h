#pragma once
// Bounds every picture decoder keeps, checked from the header before any
// pixel is allocated, so a small hostile file cannot cost gigabytes.
#include <cstddef>

// Longest side of any picture.
constexpr int kMaxImageSide = 8192;
// Decoded bytes of one picture (4096 x 4096 RGBA); real textures are far
// smaller. A caller with a running total passes what is left of it instead.
constexpr size_t kMaxImageBytes = size_t(64) << 20;
// The reason a decoder gives for a picture past its byte limit.
constexpr const char* kOverBudgetReason = "picture over the memory budget";
