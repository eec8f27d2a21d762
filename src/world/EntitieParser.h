#pragma once
// The entity lump: its key/value blocks and the parser that acts on them.
#include <vector>

#include "world/Vector3.h"

class TargetList;
class WorldEntity;

// The key/value pairs of one entity block, read the way map files write
// them: one "key" "value" pair per line.
class EntityBlock {
public:
    enum { TEXT_SIZE = 100 };  // 99 characters and the NUL
    struct Pair {
        char key[TEXT_SIZE];
        char value[TEXT_SIZE];
    };

    // Replaces the pairs with those of the block text (NUL-terminated).
    void parse(const char* text);
    void release() { std::vector<Pair>().swap(pairs); }

    int count() const { return static_cast<int>(pairs.size()); }
    const Pair& at(int index) const { return pairs[static_cast<size_t>(index)]; }

    // Readers: keys compare exactly, the first pair with the key wins.
    // text copies at most outSize - 1 characters and leaves out unchanged
    // when the key is missing; the others give 0 / false / zero vector.
    bool getText(const char* key, char* out, int outSize) const;
    bool getBool(const char* key) const;
    int getInt(const char* key) const;
    float getFloat(const char* key) const;
    Vector3 getVector(const char* key) const;

    const char* find(const char* key) const;  // the value, or nullptr

    // The value readers on a plain text.
    static int readInt(const char* text);
    static float readFloat(const char* text);
    static Vector3 readVector(const char* text);

private:
    std::vector<Pair> pairs;
};

// Walks the level's entity text once after loading and turns the player
// start, enemies and particle fountains into game objects. The camera goes
// to the last "info_player_start"; levels made for deathmatch or teams have
// none and start at their first deathmatch spawn, else their first team spawn.
// It looks along the spawn's "angles" (pitch yaw roll, pitch down positive)
// or "angle" (yaw); a spawn with neither leaves the camera's direction.
class EntitieParser {
public:
    // text is NUL-terminated; enemies are appended to targets (may be null).
    void parse(const char* text, TargetList* targets);

    const EntityBlock& lastBlock() const { return block; }

private:
    // How strongly a block claims the player start: a level's own player
    // start beats the first deathmatch spawn, which beats the first team spawn.
    enum SpawnRank { NoSpawn, TeamSpawn, DeathmatchSpawn, PlayerStart };

    void handleBlock(TargetList* targets);
    void offerSpawn(SpawnRank rank);
    // Files the entity in the leaf holding its position; destroys it when
    // no leaf list takes it, so nothing is left unowned.
    bool place(WorldEntity* entity);

    EntityBlock block;
    SpawnRank spawnRank = NoSpawn;
    Vector3 spawn;
    bool spawnFacing = false;  // the spawn gave a direction
    float spawnYaw = 0.0f, spawnPitch = 0.0f;  // degrees, pitch up positive
};
