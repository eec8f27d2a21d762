// Finding and reading game files in plain folders and .pk3 archives.
#include "resources/FileSystem.h"

#include <dirent.h>
#include <sys/stat.h>
#include <zip.h>

#include "resources/ZipDirectory.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

const size_t kMaxPathLength = 1024;

bool endsWithNoCase(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() &&
           FileSystem::lowerCase(text.substr(text.size() - end.size())) == FileSystem::lowerCase(end);
}

bool isRegularFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string cleanMount(const char* mount)
{
    std::string clean;
    if (!mount || !*mount || !FileSystem::cleanPath(mount, clean))
        return std::string();
    return clean + "/";
}

} // namespace

std::string FileSystem::lowerCase(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

std::string FileSystem::withoutExtension(std::string path)
{
    size_t dot = path.rfind('.');
    if (dot != std::string::npos && path.find('/', dot) == std::string::npos)
        path.resize(dot);
    return path;
}

FileSystem::FileSystem() = default;

FileSystem::~FileSystem()
{
    for (Archive& archive : archives)
        if (archive.zip)
            zip_discard(static_cast<zip_t*>(archive.zip));
}

void FileSystem::setReporter(Reporter r, void* context)
{
    reporter = r;
    reporterContext = context;
}

void FileSystem::report(bool error, const char* format, ...) const
{
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    if (reporter)
        reporter(reporterContext, error, text);
    else
        std::fprintf(stderr, "%s\n", text);
}

// Relative, '/'-separated, no "." or ".." parts, no empty parts. Backslashes
// count as separators, since archives made on Windows use them.
bool FileSystem::cleanPath(const char* path, std::string& out)
{
    out.clear();
    if (!path || !*path || path[0] == '/' || path[0] == '\\')
        return false;
    size_t length = strnlen(path, kMaxPathLength + 1);
    if (length > kMaxPathLength)
        return false;
    if (length >= 2 && path[1] == ':')  // "C:..."
        return false;
    size_t start = 0;
    while (start <= length) {
        size_t end = start;
        while (end < length && path[end] != '/' && path[end] != '\\')
            end++;
        std::string part(path + start, end - start);
        if (part == "..")
            return false;
        if (!part.empty() && part != ".") {
            if (!out.empty())
                out += '/';
            out += part;
        }
        start = end + 1;
    }
    return !out.empty();
}

void FileSystem::addFolder(const char* dir, const char* mount)
{
    Folder folder;
    folder.dir = dir && *dir ? dir : ".";
    folder.mount = cleanMount(mount);
    folders.push_back(folder);
}

// libzip refuses a whole archive for one repeated name unless asked to check
// less; the repeat is then resolved below, the later entry winning.
zip_t* FileSystem::openZip(const char* path, const std::vector<ZipDirectoryEntry>& raw) const
{
    int code = 0;
    zip_t* zip = zip_open(path, ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!zip && code == ZIP_ER_EXISTS)
        zip = zip_open(path, ZIP_RDONLY, &code);
    if (zip)
        return zip;
    for (const ZipDirectoryEntry& entry : raw) {
        if (entry.sizeWithoutRecord) {
            report(true, "ERROR cannot open archive %s: entry %.100s states a size of 0xFFFFFFFF without the "
                   "64-bit record that must then follow", path, visibleZipName(entry.name).c_str());
            return nullptr;
        }
    }
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    report(true, "ERROR cannot open archive %s: %s", path, zip_error_strerror(&error));
    zip_error_fini(&error);
    return nullptr;
}

bool FileSystem::addArchive(const char* path, const char* mount)
{
    for (const Archive& archive : archives)
        if (archive.path == path)
            return true;  // named twice: already searched
    std::vector<ZipDirectoryEntry> raw;
    readZipDirectory(path, raw);
    zip_t* zip = openZip(path, raw);
    if (!zip)
        return false;
    int archiveIndex = int(archives.size());
    archives.push_back(Archive{path, zip});
    std::string mountPath = cleanMount(mount);

    zip_int64_t count = zip_get_num_entries(zip, 0);
    if (raw.size() != size_t(count))
        raw.clear();  // not the directory libzip read: its names are not compared
    int refused = 0, repeated = 0;
    for (zip_int64_t i = 0; i < count; i++) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(zip, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME) ||
            !(st.valid & ZIP_STAT_SIZE))
            continue;
        size_t nameLength = std::strlen(st.name);
        if (nameLength > 0 && (st.name[nameLength - 1] == '/' || st.name[nameLength - 1] == '\\'))
            continue;  // a folder entry
        std::string clean;
        const std::string* stored = raw.empty() ? nullptr : &raw[size_t(i)].name;
        if (stored && stored->find('\0') != std::string::npos) {
            if (refused++ == 0)
                report(true, "ERROR archive %s: refused entry name \"%.100s\" (a NUL byte inside)", path,
                       visibleZipName(*stored).c_str());
            continue;
        }
        if (!cleanPath(st.name, clean)) {
            // Shown once per archive below; one line per bad name could flood the log.
            if (refused++ == 0)
                report(true, "ERROR archive %s: refused entry name \"%.100s\"", path, st.name);
            continue;
        }
        Entry entry{archiveIndex, zip_uint64_t(i), st.size, mountPath + clean};
        Entry& slot = entries[lowerCase(entry.name)];
        if (slot.archive == archiveIndex && slot.name == entry.name && repeated++ == 0)
            report(true, "ERROR archive %s: entry %.100s stored more than once; the last one is used", path,
                   entry.name.c_str());
        slot = entry;
    }
    if (refused > 1)
        report(true, "ERROR archive %s: %d entry names refused in all", path, refused);
    if (repeated > 1)
        report(true, "ERROR archive %s: %d entries repeat an earlier name in all", path, repeated);
    return true;
}

int FileSystem::addArchives(const char* dir, const char* mount)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(dir && *dir ? dir : ".")) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (endsWithNoCase(name, ".pk3"))
                names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    int opened = 0;
    for (const std::string& name : names) {
        std::string path = std::string(dir && *dir ? dir : ".") + "/" + name;
        if (addArchive(path.c_str(), mount))
            opened++;
    }
    return opened;
}

const FileSystem::Entry* FileSystem::findEntry(const std::string& clean) const
{
    auto it = entries.find(lowerCase(clean));
    return it == entries.end() ? nullptr : &it->second;
}

// found: the file exists in this folder (so no later source is asked).
bool FileSystem::readPlain(const Folder& folder, const std::string& clean,
                           std::vector<unsigned char>& out, bool* found) const
{
    *found = false;
    if (clean.compare(0, folder.mount.size(), folder.mount) != 0)
        return false;
    std::string path = folder.dir + "/" + clean.substr(folder.mount.size());
    // fopen succeeds on folders too; a folder is not a file.
    if (!isRegularFile(path))
        return false;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f || std::fseek(f, 0, SEEK_END) != 0) {
        if (f)
            std::fclose(f);
        return false;
    }
    long size = std::ftell(f);
    if (size < 0 || uint64_t(size) > kMaxEntryBytes) {
        std::fclose(f);
        if (size > 0)
            report(true, "ERROR file %s is too large (%ld bytes)", path.c_str(), size);
        return false;
    }
    *found = true;
    std::fseek(f, 0, SEEK_SET);
    out.resize(size_t(size));
    size_t got = size > 0 ? std::fread(out.data(), 1, out.size(), f) : 0;
    std::fclose(f);
    if (got != out.size()) {
        report(true, "ERROR short read of %s", path.c_str());
        out.clear();
        return false;
    }
    return true;
}

// Reads exactly the stated size; more or less than that is damage.
bool FileSystem::readEntry(const Entry& entry, std::vector<unsigned char>& out) const
{
    const Archive& archive = archives[size_t(entry.archive)];
    if (entry.size > kMaxEntryBytes) {
        report(true, "ERROR archive %s: entry %s states %llu bytes, refused", archive.path.c_str(),
               entry.name.c_str(), (unsigned long long)entry.size);
        return false;
    }
    zip_file_t* file = zip_fopen_index(static_cast<zip_t*>(archive.zip), entry.index, 0);
    if (!file) {
        report(true, "ERROR archive %s: cannot open entry %s: %s", archive.path.c_str(),
               entry.name.c_str(), zip_strerror(static_cast<zip_t*>(archive.zip)));
        return false;
    }
    out.resize(size_t(entry.size));
    zip_int64_t got = entry.size > 0 ? zip_fread(file, out.data(), entry.size) : 0;
    unsigned char extra = 0;
    zip_int64_t more = got == zip_int64_t(entry.size) ? zip_fread(file, &extra, 1) : 0;
    const char* problem = nullptr;
    if (got < 0 || more < 0)
        problem = zip_file_strerror(file);
    else if (got != zip_int64_t(entry.size))
        problem = "shorter than stated";
    else if (more > 0)
        problem = "longer than stated";
    std::string why = problem ? problem : "";
    zip_fclose(file);
    if (problem) {
        report(true, "ERROR archive %s: entry %s damaged: %s", archive.path.c_str(),
               entry.name.c_str(), why.c_str());
        out.clear();
        return false;
    }
    return true;
}

bool FileSystem::readFile(const char* path, std::vector<unsigned char>& out) const
{
    out.clear();
    std::string clean;
    if (!cleanPath(path, clean)) {
        report(true, "ERROR refused path \"%.200s\"", path ? path : "(null)");
        return false;
    }
    bool read = false, found = false;
    for (size_t i = 0; i < folders.size() && !read && !found; i++)
        read = readPlain(folders[i], clean, out, &found);
    if (!read && !found) {
        const Entry* entry = findEntry(clean);
        read = entry && readEntry(*entry, out);
    }
    if (read && readLog)
        readLog->push_back(clean);
    return read;
}

bool FileSystem::exists(const char* path) const
{
    std::string clean;
    if (!cleanPath(path, clean))
        return false;
    for (const Folder& folder : folders) {
        if (clean.compare(0, folder.mount.size(), folder.mount) != 0)
            continue;
        if (isRegularFile(folder.dir + "/" + clean.substr(folder.mount.size())))
            return true;
    }
    return findEntry(clean) != nullptr;
}

std::vector<std::string> FileSystem::list(const char* prefix, const char* extension) const
{
    std::vector<std::string> found;
    std::string folderPath;
    if (!cleanPath(prefix, folderPath))
        return found;
    folderPath += '/';
    std::string ext = extension ? extension : "";

    for (const Folder& folder : folders) {
        if (folderPath.compare(0, folder.mount.size(), folder.mount) != 0)
            continue;
        std::string dir = folder.dir + "/" + folderPath.substr(folder.mount.size());
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d)) {
                std::string name = e->d_name;
                if (name != "." && name != ".." && endsWithNoCase(name, ext))
                    found.push_back(folderPath + name);
            }
            closedir(d);
        }
    }
    std::string key = lowerCase(folderPath);
    for (auto it = entries.lower_bound(key); it != entries.end(); ++it) {
        if (it->first.compare(0, key.size(), key) != 0)
            break;
        if (it->first.find('/', key.size()) == std::string::npos && endsWithNoCase(it->first, ext))
            found.push_back(it->second.name);
    }
    // One path per name, whatever its case or source.
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        return lowerCase(a) < lowerCase(b);
    });
    found.erase(std::unique(found.begin(), found.end(),
                            [](const std::string& a, const std::string& b) {
                                return lowerCase(a) == lowerCase(b);
                            }),
                found.end());
    return found;
}
