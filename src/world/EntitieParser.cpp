// Reading the entity lump and placing the player, enemies and fountains.
#include "world/EntitieParser.h"

#include <cmath>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/TargetList.h"
#include "objects/Enemy.h"
#include "objects/ParticleSystem.h"
#include "platform/Saturate.h"
#include "platform/SystemLog.h"
#include "world/Camera.h"
#include "world/Renderer.h"
#include "world/ViewAngles.h"

namespace {

// Copies [begin, end) into out, cut to TEXT_SIZE - 1 characters.
void copyCut(char* out, const char* begin, const char* end)
{
    size_t length = static_cast<size_t>(end - begin);
    if (length > EntityBlock::TEXT_SIZE - 1)
        length = EntityBlock::TEXT_SIZE - 1;
    memcpy(out, begin, length);
    out[length] = '\0';
}

// The next c in [from, end), or nullptr. Scans only the rest of the text,
// so walking a long lump stays linear.
const char* findChar(const char* from, const char* end, char c)
{
    if (from >= end)
        return nullptr;
    return static_cast<const char*>(memchr(from, c, static_cast<size_t>(end - from)));
}

} // namespace

// --- EntityBlock ---------------------------------------------------------

void EntityBlock::parse(const char* text)
{
    release();
    if (!text)
        return;

    // A block holds at most one pair per line feed, and never more than a
    // quarter of its quotes: that bounds the allocation for hostile text.
    size_t lineFeeds = 0, quotes = 0;
    const char* end = text;
    for (; *end; ++end) {
        if (*end == '\n')
            ++lineFeeds;
        else if (*end == '"')
            ++quotes;
    }
    size_t slots = lineFeeds;
    pairs.reserve(slots < quotes / 4 ? slots : quotes / 4);

    const char* cursor = text;
    for (size_t slot = 0; slot < slots; ++slot) {
        const char* q1 = findChar(cursor, end, '"');
        const char* q2 = q1 ? findChar(q1 + 1, end, '"') : nullptr;
        if (!q1 || !q2) {
            SystemLog::get().write(LOG_RED "::EntitieParser ERROR Parsing entitie: str = %s", text);
            release();
            return;
        }
        const char* q3 = findChar(q2 + 1, end, '"');
        const char* q4 = q3 ? findChar(q3 + 1, end, '"') : nullptr;
        if (!q3 || !q4) {
            // A key whose value lacks its quotes: the pair is dropped.
            char key[TEXT_SIZE];
            copyCut(key, q1 + 1, q2);
            SystemLog::get().write(LOG_YELLOW "::EntitieParser WARNING Value without quotes: key = %s",
                                   key);
            return;
        }
        Pair pair;
        copyCut(pair.key, q1 + 1, q2);
        copyCut(pair.value, q3 + 1, q4);
        pairs.push_back(pair);

        cursor = q4 + 1;
        if (!findChar(cursor, end, '"'))
            return;
    }
}

const char* EntityBlock::find(const char* key) const
{
    if (!key)
        return nullptr;
    for (const Pair& pair : pairs)
        if (strcmp(pair.key, key) == 0)
            return pair.value;
    return nullptr;
}

bool EntityBlock::getText(const char* key, char* out, int outSize) const
{
    const char* value = find(key);
    if (!value || !out || outSize <= 0)
        return false;
    size_t length = strlen(value);
    if (length > static_cast<size_t>(outSize - 1))
        length = static_cast<size_t>(outSize - 1);
    memcpy(out, value, length);
    out[length] = '\0';
    return true;
}

bool EntityBlock::getBool(const char* key) const
{
    return getInt(key) > 0;
}

int EntityBlock::getInt(const char* key) const
{
    const char* value = find(key);
    return value ? readInt(value) : 0;
}

float EntityBlock::getFloat(const char* key) const
{
    const char* value = find(key);
    return value ? readFloat(value) : 0.0f;
}

Vector3 EntityBlock::getVector(const char* key) const
{
    const char* value = find(key);
    return value ? readVector(value) : Vector3();
}

int EntityBlock::readInt(const char* text)
{
    // Out-of-range integers saturate instead of wrapping.
    return clampedAtoi(text);
}

float EntityBlock::readFloat(const char* text)
{
    if (!text)
        return 0.0f;
    // Only the leading decimal number: sign, digits, point, exponent. No
    // hexadecimal, no "inf" or "nan" words.
    const char* c = text;
    while (*c == ' ' || *c == '\t' || *c == '\n' || *c == '\r' || *c == '\v' || *c == '\f')
        ++c;
    char number[TEXT_SIZE + 8];
    size_t n = 0;
    auto take = [&](char ch) {
        if (n < sizeof(number) - 1)
            number[n++] = ch;
    };
    if (*c == '+' || *c == '-')
        take(*c++);
    size_t digits = 0;
    while (*c >= '0' && *c <= '9') {
        take(*c++);
        ++digits;
    }
    if (*c == '.') {
        take(*c++);
        while (*c >= '0' && *c <= '9') {
            take(*c++);
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0f;
    if (*c == 'e' || *c == 'E') {
        const char* e = c + 1;
        if (*e == '+' || *e == '-')
            ++e;
        if (*e >= '0' && *e <= '9') {
            take(*c++);
            if (*c == '+' || *c == '-')
                take(*c++);
            while (*c >= '0' && *c <= '9')
                take(*c++);
        }
    }
    number[n] = '\0';
    return strtof(number, nullptr);
}

Vector3 EntityBlock::readVector(const char* text)
{
    float v[3] = {0.0f, 0.0f, 0.0f};
    if (text)
        sscanf(text, "%f %f %f", &v[0], &v[1], &v[2]);
    return Vector3(v[0], v[1], v[2]);
}

// --- EntitieParser -------------------------------------------------------

namespace {

// Two past a '{': the character after the brace is skipped unread, but
// never past the end of the text.
const char* pastBrace(const char* brace, const char* end)
{
    const char* c = brace + 1;
    return c < end ? c + 1 : c;
}

bool isTeamSpawn(const char* classname)
{
    // Quake 3 CTF names, and Nexuiz's numbered teams.
    static const char* const kTeamSpawns[] = {"team_CTF_redplayer", "team_CTF_blueplayer",
                                              "team_CTF_redspawn",  "team_CTF_bluespawn",
                                              "info_player_team1",  "info_player_team2",
                                              "info_player_team3",  "info_player_team4"};
    for (const char* team : kTeamSpawns)
        if (strcmp(classname, team) == 0)
            return true;
    return false;
}

// "angles" is pitch yaw roll with pitch looking down when positive;
// "angle" is the yaw alone. Non-finite numbers count as no direction.
void readFacing(const EntityBlock& block, bool* given, float* yaw, float* pitch)
{
    *given = false;
    if (const char* angles = block.find("angles")) {
        Vector3 v = EntityBlock::readVector(angles);
        *pitch = -v.x;
        *yaw = v.y;
        *given = v.isFinite();
    } else if (const char* angle = block.find("angle")) {
        *pitch = 0.0f;
        *yaw = EntityBlock::readFloat(angle);
        *given = std::isfinite(*yaw);
    }
}

Vector3 convertedOrigin(const EntityBlock& block)
{
    Vector3 v = block.getVector("origin");
    return fromFileFrame(v.x, v.y, v.z);
}

} // namespace

void EntitieParser::parse(const char* text, TargetList* targets)
{
    spawnRank = NoSpawn;
    if (!text)
        return;
    const char* end = text + strlen(text);
    const char* brace = findChar(text, end, '{');
    const char* cursor = brace ? pastBrace(brace, end) : nullptr;

    while (cursor) {
        const char* close = findChar(cursor, end, '}');
        if (!close)
            break;
        size_t length = static_cast<size_t>(close - cursor);
        char* buffer = new char[length + 1];
        memcpy(buffer, cursor, length);
        buffer[length] = '\0';
        block.parse(buffer);
        delete[] buffer;

        brace = findChar(close, end, '{');
        cursor = brace ? pastBrace(brace, end) : nullptr;

        handleBlock(targets);
    }

    Camera* camera = Camera::instance;
    if (!camera)
        return;
    if (spawnRank != NoSpawn)
        camera->position = spawn;
    if (spawnRank != NoSpawn && spawnFacing)
        camera->lookAlong(forwardFromAngles(spawnYaw, spawnPitch));
    // The first frame of the level draws from where the player stands.
    if (Renderer::instance)
        Renderer::instance->updateCameraLeaf(*camera, camera->position);
}

void EntitieParser::handleBlock(TargetList* targets)
{
    const char* classname = block.find("classname");
    if (!classname)
        return;

    if (strcmp(classname, "particle_fountain") == 0) {
        Vector3 origin = convertedOrigin(block);
        if (!origin.isFinite()) {
            SystemLog::get().write(LOG_RED "::EntitieParser ERROR Particle fountain with a bad origin");
            return;
        }
        ParticleSystem* system = new ParticleSystem(block, origin);
        system->emit(block.getInt("num_particles"));
        place(system);
    } else if (strcmp(classname, "info_player_start") == 0) {
        offerSpawn(PlayerStart);
    } else if (strcmp(classname, "info_player_deathmatch") == 0) {
        offerSpawn(DeathmatchSpawn);
    } else if (isTeamSpawn(classname)) {
        offerSpawn(TeamSpawn);
    } else if (strcmp(classname, "enemy") == 0) {
        Vector3 origin = convertedOrigin(block);
        if (!origin.isFinite() || !Enemy::acceptable(block)) {
            SystemLog::get().write(LOG_RED "::EntitieParser ERROR Enemy with a non-finite origin, radius or speed");
            return;
        }
        Enemy* enemy = new Enemy();
        enemy->position = origin;
        enemy->configure(block);
        // An enemy that no leaf takes is destroyed, so it must not be a target.
        if (place(enemy) && targets)
            targets->add(enemy);
    }
}

void EntitieParser::offerSpawn(SpawnRank rank)
{
    // Later player starts replace earlier ones; the other kinds keep their first.
    if (rank < spawnRank || (rank == spawnRank && rank != PlayerStart))
        return;
    Vector3 origin = convertedOrigin(block);
    if (!origin.isFinite()) {
        SystemLog::get().write(LOG_RED "::EntitieParser ERROR Player start with a bad origin");
        return;
    }
    spawn = origin;
    spawnRank = rank;
    readFacing(block, &spawnFacing, &spawnYaw, &spawnPitch);
}

bool EntitieParser::place(WorldEntity* entity)
{
    Renderer* renderer = Renderer::instance;
    if (renderer && renderer->addEntity(renderer->findLeaf(entity->position), entity))
        return true;
    delete entity;
    return false;
}
