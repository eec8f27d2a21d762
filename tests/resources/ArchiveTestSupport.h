#pragma once
// Real .pk3 files for the tests: written by libzip, then damaged byte-wise
// where a test needs a broken one.
#include <zip.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace rt {

struct ZipEntry {
    std::string name;
    std::vector<uint8_t> data;
    bool stored = false;  // no compression, so sizes can be patched in place
};

inline bool writeZip(const std::string& path, const std::vector<ZipEntry>& entries)
{
    int code = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!zip)
        return false;
    for (const ZipEntry& e : entries) {
        zip_source_t* src = zip_source_buffer(zip, e.data.data(), e.data.size(), 0);
        zip_int64_t index = zip_file_add(zip, e.name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_RAW);
        if (index < 0) {
            zip_source_free(src);
            zip_discard(zip);
            return false;
        }
        zip_set_file_compression(zip, zip_uint64_t(index), e.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
    }
    return zip_close(zip) == 0;
}

inline uint32_t u32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

inline void put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// Offsets of every record with the signature (local headers 0x04034b50,
// central headers 0x02014b50).
inline std::vector<size_t> records(const std::vector<uint8_t>& b, uint32_t signature)
{
    std::vector<size_t> at;
    for (size_t i = 0; i + 4 <= b.size(); i++)
        if (u32(b, i) == signature)
            at.push_back(i);
    return at;
}

const uint32_t kLocalHeader = 0x04034b50;
const uint32_t kCentralHeader = 0x02014b50;

// Sets an entry's stated uncompressed size in both its headers.
inline void stateSize(std::vector<uint8_t>& b, size_t entry, uint32_t size)
{
    std::vector<size_t> local = records(b, kLocalHeader), central = records(b, kCentralHeader);
    if (entry < local.size())
        put32(b, local[entry] + 22, size);
    if (entry < central.size())
        put32(b, central[entry] + 24, size);
}

} // namespace rt
