#pragma once
// The base of everything that stands in a leaf's entity list.
#include "world/Vector3.h"

// Anything that stands in a leaf's entity list: the list draws it each frame
// and destroys it when draw() returns false or the level is freed.
class WorldEntity {
public:
    virtual ~WorldEntity() = default;
    // Updates and draws; false when the entity is finished.
    virtual bool draw() = 0;

    bool moved = false;   // set when position changed; the renderer re-files it
    Vector3 position;
};
