#pragma once

// The view commands for scripted looks and benchmarks: setViewPos, viewPos,
// screenshot and setHud. registerGameCommands registers them too.
void registerViewCommands();

class Camera;
class PhysicsBody;
struct Vector3;

// Puts the eye (camera and the player's sphere, whose motion stops) at a
// point given in the level file's frame, looking along yaw and pitch
// degrees. The next frame finds its leaf and frustum as usual.
void placeEye(Camera& camera, PhysicsBody* body, const Vector3& fileOrigin, float yawDegrees,
              float pitchDegrees);
