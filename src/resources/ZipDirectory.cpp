// Reading a zip archive's central directory, every field checked.
#include "resources/ZipDirectory.h"

#include <algorithm>
#include <cstdio>

namespace {

const uint32_t kEndSignature = 0x06054b50;
const uint32_t kEntrySignature = 0x02014b50;
const size_t kEndBytes = 22;
const size_t kLongestComment = 65535;
// Far more than any real archive's directory; a larger claim is not read.
const uint32_t kMaxDirectoryBytes = 64u << 20;
const uint16_t kZip64Record = 0x0001;

uint32_t u16(const unsigned char* b) { return uint32_t(b[0]) | uint32_t(b[1]) << 8; }
uint32_t u32(const unsigned char* b) { return u16(b) | u16(b + 2) << 16; }

bool readAt(FILE* f, long offset, std::vector<unsigned char>& out)
{
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fread(out.data(), 1, out.size(), f) == out.size();
}

// A 64-bit record among the entry's extra fields.
bool hasZip64Record(const unsigned char* extra, size_t length)
{
    for (size_t at = 0; at + 4 <= length;) {
        if (u16(extra + at) == kZip64Record)
            return true;
        at += 4 + u16(extra + at + 2);
    }
    return false;
}

bool parseEntries(const std::vector<unsigned char>& dir, uint32_t count, std::vector<ZipDirectoryEntry>& out)
{
    size_t at = 0;
    for (uint32_t i = 0; i < count; i++) {
        if (dir.size() - at < 46 || u32(&dir[at]) != kEntrySignature)
            return false;
        const unsigned char* e = &dir[at];
        size_t nameLength = u16(e + 28), extraLength = u16(e + 30), commentLength = u16(e + 32);
        if (dir.size() - at - 46 < nameLength + extraLength + commentLength)
            return false;
        ZipDirectoryEntry entry;
        entry.name.assign(reinterpret_cast<const char*>(e + 46), nameLength);
        bool wide = u32(e + 20) == 0xFFFFFFFFu || u32(e + 24) == 0xFFFFFFFFu;
        entry.sizeWithoutRecord = wide && !hasZip64Record(e + 46 + nameLength, extraLength);
        out.push_back(entry);
        at += 46 + nameLength + extraLength + commentLength;
    }
    return true;
}

} // namespace

bool readZipDirectory(const char* path, std::vector<ZipDirectoryEntry>& out)
{
    out.clear();
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return false;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        size = std::ftell(f);
    bool ok = false;
    if (size >= long(kEndBytes)) {
        std::vector<unsigned char> tail(std::min(size_t(size), kEndBytes + kLongestComment));
        if (readAt(f, size - long(tail.size()), tail)) {
            for (size_t at = tail.size() - kEndBytes + 1; at-- > 0 && !ok;) {
                if (u32(&tail[at]) != kEndSignature)
                    continue;
                uint32_t count = u16(&tail[at + 10]), bytes = u32(&tail[at + 12]), offset = u32(&tail[at + 16]);
                if (bytes > kMaxDirectoryBytes || uint64_t(offset) + bytes > uint64_t(size))
                    break;
                std::vector<unsigned char> dir(bytes);
                ok = readAt(f, long(offset), dir) && parseEntries(dir, count, out);
                break;
            }
        }
    }
    std::fclose(f);
    if (!ok)
        out.clear();
    return ok;
}

std::string visibleZipName(const std::string& name)
{
    std::string shown;
    for (char c : name) {
        if (c == '\0')
            shown += "\\0";
        else
            shown += c;
    }
    return shown;
}
