// The file system on real folders and real zip archives: search order,
// case, refused names, listing, and damaged archives.
#include "ArchiveTestSupport.h"
#include "ResourceTestSupport.h"
#include "resources/FileSystem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using rt::Bytes;

namespace {

Bytes text(const char* s) { return Bytes(s, s + std::strlen(s)); }

struct Reports {
    std::vector<std::string> lines;
    static void take(void* self, bool, const char* line)
    {
        static_cast<Reports*>(self)->lines.push_back(line);
    }
    bool has(const char* part) const
    {
        for (const std::string& l : lines)
            if (l.find(part) != std::string::npos)
                return true;
        return false;
    }
};

std::string read(FileSystem& files, const char* path)
{
    std::vector<unsigned char> out;
    if (!files.readFile(path, out))
        return "<none>";
    return std::string(out.begin(), out.end());
}

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(root);
        fs::create_directories(root + "/base");
        files.setReporter(Reports::take, &reports);
    }
    std::string root = "fs_work";
    FileSystem files;
    Reports reports;
};

// Plain files win, later archives override earlier ones, names match in any
// case, bad names are refused and listing sees both kinds of source.
TEST_F(FileSystemTest, SearchOrderCaseAndListing)
{
    ASSERT_TRUE(rt::writeZip(root + "/base/b.pk3", {{"textures/Wall.JPG", text("from b")},
                                                    {"scripts/b.shader", text("b")},
                                                    {"only/b.txt", text("b only")}}));
    ASSERT_TRUE(rt::writeZip(root + "/base/a.pk3", {{"textures/wall.jpg", text("from a")},
                                                    {"textures/plain.tga", text("zip")},
                                                    {"scripts/a.SHADER", text("a")},
                                                    {"scripts/deeper/c.shader", text("c")},
                                                    {"../escape.txt", text("out")},
                                                    {"/abs.txt", text("abs")}}));
    ASSERT_TRUE(rt::writeFile(root + "/base/textures/plain.tga", text("plain")));
    ASSERT_TRUE(rt::writeFile(root + "/base/scripts/p.shader", text("p")));
    rt::writeFile(root + "/base/not-an-archive.pk3", text("garbage"));

    files.addFolder((root + "/base").c_str(), "base");
    EXPECT_EQ(files.addArchives((root + "/base").c_str(), "base"), 2);
    EXPECT_TRUE(reports.has("not-an-archive.pk3"));
    EXPECT_TRUE(reports.has("refused entry name"));

    EXPECT_EQ(read(files, "base/textures/wall.jpg"), "from b");  // b.pk3 comes after a.pk3
    EXPECT_EQ(read(files, "base//TEXTURES/Wall.jpg"), "from b");
    EXPECT_EQ(read(files, "base/textures/plain.tga"), "plain");
    EXPECT_EQ(read(files, "./base/only/b.txt"), "b only");
    EXPECT_EQ(read(files, "only/b.txt"), "<none>");  // outside the mount
    EXPECT_EQ(read(files, "base/escape.txt"), "<none>");
    EXPECT_EQ(read(files, "base/abs.txt"), "<none>");
    EXPECT_EQ(read(files, "base/../base/only/b.txt"), "<none>");
    EXPECT_EQ(read(files, "/etc/passwd"), "<none>");
    EXPECT_TRUE(reports.has("refused path"));
    EXPECT_TRUE(files.exists("base/Scripts/b.shader"));
    EXPECT_FALSE(files.exists("base/scripts"));

    std::vector<std::string> shaders = files.list("base/scripts", ".shader");
    ASSERT_EQ(shaders.size(), 3u);
    EXPECT_EQ(shaders[0], "base/scripts/a.SHADER");
    EXPECT_EQ(shaders[1], "base/scripts/b.shader");
    EXPECT_EQ(shaders[2], "base/scripts/p.shader");
}

// Damaged archives: a report, no data, and the next source still answers.
TEST_F(FileSystemTest, DamagedArchivesAreReportedAndSkipped)
{
    Bytes payload(5000, 'x');
    ASSERT_TRUE(rt::writeZip(root + "/z.pk3", {{"big.bin", payload, true},
                                               {"small.bin", text("0123456789"), true},
                                               {"huge.bin", text("tiny"), true},
                                               {"ok.txt", text("fine")}}));
    Bytes zip = rt::readFile(root + "/z.pk3");
    rt::stateSize(zip, 0, 100);         // inflates past what it states
    rt::stateSize(zip, 1, 20);          // shorter than stated
    rt::stateSize(zip, 2, 0xFFFFFFF0);  // states about 4 GB
    ASSERT_TRUE(rt::writeFile(root + "/z.pk3", zip));
    // Cut short: the central directory is gone.
    ASSERT_TRUE(rt::writeFile(root + "/cut.pk3", Bytes(zip.begin(), zip.begin() + long(zip.size() / 2))));

    EXPECT_FALSE(files.addArchive((root + "/cut.pk3").c_str()));
    files.addArchive((root + "/z.pk3").c_str());
    std::vector<unsigned char> out;
    EXPECT_FALSE(files.readFile("big.bin", out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(files.readFile("small.bin", out));
    EXPECT_FALSE(files.readFile("huge.bin", out));
    EXPECT_TRUE(reports.has("refused"));
    EXPECT_TRUE(reports.has("damaged"));
    EXPECT_EQ(read(files, "ok.txt"), "fine");
}

} // namespace
