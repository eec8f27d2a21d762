#pragma once
// The file system over plain folders and .pk3 (zip) archives.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ZipDirectoryEntry;
struct zip;

// Answers "read this path" from plain folders and .pk3 (zip) archives.
// Plain files are searched first, in the order their folders were added, so
// a plain file always wins over an archive entry of the same path. Archive
// entries are matched without regard to case; a later archive replaces an
// earlier one's entry of the same path, and within one archive a repeated
// name (reported) is the later entry.
//
// Paths are relative, with '/' separators ("textures/base/wall.tga"); doubled
// separators and a leading "./" are tolerated. Absolute paths and ".." parts
// are refused. GL-free and log-free: problems go to the reporter, so the
// game and the tools route them where they want.
class FileSystem {
public:
    // error: true for a refused or damaged file, false for a notice.
    typedef void (*Reporter)(void* context, bool error, const char* text);

    // Entries stating more than this are refused before any byte is inflated.
    static constexpr uint64_t kMaxEntryBytes = 256u * 1024u * 1024u;

    FileSystem();
    ~FileSystem();
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // Without a reporter, problems go to stderr.
    void setReporter(Reporter reporter, void* context);

    // Plain files under dir are found as mount + their path below dir.
    void addFolder(const char* dir, const char* mount = "");
    // One archive; its entries are found as mount + entry name. False (one
    // report) when it cannot be opened or its directory is damaged.
    bool addArchive(const char* path, const char* mount = "");
    // Every .pk3 directly in dir, in name order. Returns how many opened.
    int addArchives(const char* dir, const char* mount = "");

    // The whole file; false (out empty) when no source has it or the one
    // that has it is damaged. A damaged archive entry is reported.
    bool readFile(const char* path, std::vector<unsigned char>& out) const;
    bool exists(const char* path) const;
    // Paths directly under the folder `prefix` (e.g. "scripts/") that end in
    // `extension` (e.g. ".shader", any case), each once, sorted.
    std::vector<std::string> list(const char* prefix, const char* extension) const;

    int archiveCount() const { return int(archives.size()); }

    // Every path read successfully from now on is appended to *log (null
    // stops it): what a level really needed, for tools and measurements.
    void recordReads(std::vector<std::string>* log) { readLog = log; }

    // ASCII letters made small: how archive names are compared.
    static std::string lowerCase(std::string text);

    // "maps/x.bsp" -> "maps/x"; a dot in a folder name is not an extension.
    static std::string withoutExtension(std::string path);

    // The path cleaned for lookup; false for absolute, "..", empty or
    // over-long paths.
    static bool cleanPath(const char* path, std::string& out);

private:
    struct Folder {
        std::string dir;
        std::string mount;  // cleaned, ends in '/' or empty
    };
    struct Archive {
        std::string path;
        void* zip = nullptr;  // zip_t*, kept open for reading entries later
    };
    struct Entry {
        int archive = -1;
        uint64_t index = 0;
        uint64_t size = 0;
        std::string name;  // mounted path, original case
    };

    void report(bool error, const char* format, ...) const __attribute__((format(printf, 3, 4)));
    zip* openZip(const char* path, const std::vector<ZipDirectoryEntry>& raw) const;
    bool readPlain(const Folder& folder, const std::string& path,
                   std::vector<unsigned char>& out, bool* found) const;
    bool readEntry(const Entry& entry, std::vector<unsigned char>& out) const;
    const Entry* findEntry(const std::string& cleanPath) const;

    std::vector<Folder> folders;
    std::vector<Archive> archives;
    std::map<std::string, Entry> entries;  // key: lower-case mounted path
    std::vector<std::string>* readLog = nullptr;
    Reporter reporter = nullptr;
    void* reporterContext = nullptr;
};
