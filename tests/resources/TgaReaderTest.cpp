// The reader on hand-built files, on files ImageMagick writes (compared with
// ImageMagick's own decoding), on a mutated corpus and on the painted images.
#include "ResourceTestSupport.h"
#include "resources/TgaReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using rt::Bytes;

namespace {

TgaImage decode(const Bytes& b, bool* ok = nullptr)
{
    TgaImage img;
    bool result = TgaLoader::decode(b.data(), b.size(), &img);
    if (ok)
        *ok = result;
    return img;
}

bool rejects(const Bytes& b)
{
    TgaImage img;
    return !TgaLoader::decode(b.data(), b.size(), &img) && img.pixels.empty() && img.width == 0;
}

TEST(TgaReader, UncompressedTrueColourSwapsRedAndBlue)
{
    bool ok;
    TgaImage a = decode(rt::tga(2, 2, 1, 24, {1, 2, 3, 4, 5, 6}), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(a.bytesPerPixel, 3);
    EXPECT_EQ(a.pixels, (Bytes{3, 2, 1, 6, 5, 4}));

    TgaImage b = decode(rt::tga(2, 1, 1, 32, {10, 20, 30, 40}), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(b.bytesPerPixel, 4);
    EXPECT_EQ(b.pixels, (Bytes{30, 20, 10, 40}));

    // Only type 10 is told apart; an ID field is skipped; trailing bytes (a
    // footer) are ignored.
    Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    TgaImage t2 = decode(rt::tga(2, 2, 2, 24, data));
    Bytes withFooter = rt::tga(3, 2, 2, 24, data, 5);
    withFooter.insert(withFooter.end(), 26, 0x55);
    EXPECT_EQ(decode(withFooter).pixels, t2.pixels);
}

TEST(TgaReader, SixteenBitWidensByShiftOnly)
{
    TgaImage img = decode(rt::tga(2, 3, 1, 16, {0xFF, 0x7F, 0x00, 0x80, 0x00, 0x7C}));
    ASSERT_EQ(img.bytesPerPixel, 3);
    EXPECT_EQ(img.pixels, (Bytes{248, 248, 248, 0, 0, 0, 248, 0, 0}));
}

TEST(TgaReader, RunLengthPackets)
{
    TgaImage run = decode(rt::tga(10, 4, 1, 24, {0x83, 0, 0, 255}));
    EXPECT_EQ(run.pixels, (Bytes{255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0}));
    TgaImage raw = decode(rt::tga(10, 2, 1, 32, {0x01, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(raw.bytesPerPixel, 4);
    EXPECT_EQ(raw.pixels, (Bytes{3, 2, 1, 4, 7, 6, 5, 8}));
    // Packets may cross rows.
    TgaImage mixed = decode(rt::tga(10, 2, 2, 24, {0x00, 9, 9, 9, 0x82, 1, 2, 3}));
    EXPECT_EQ(mixed.pixels, (Bytes{9, 9, 9, 3, 2, 1, 3, 2, 1, 3, 2, 1}));
}

// Big enough to span several read blocks, with a partial last one.
TEST(TgaReader, LargeFilesMatchAHandSwap)
{
    std::mt19937 random(77);
    for (int depth : {24, 32}) {
        SCOPED_TRACE(depth);
        const int w = 301, h = 611, p = depth / 8;
        Bytes data(size_t(w) * h * p);
        for (uint8_t& b : data)
            b = uint8_t(random());
        Bytes expected = data;
        for (size_t i = 0; i + 2 < expected.size(); i += size_t(p))
            std::swap(expected[i], expected[i + 2]);
        Bytes file = rt::tga(2, w, h, depth, data, 3);
        ASSERT_TRUE(rt::writeFile("im_work/large.tga", file));
        TgaImage fromFile;
        ASSERT_TRUE(TgaLoader::readFile("im_work/large.tga", &fromFile));
        EXPECT_TRUE(fromFile.pixels == expected);
        EXPECT_TRUE(decode(file).pixels == expected);
        file.pop_back();
        ASSERT_TRUE(rt::writeFile("im_work/large.tga", file));
        EXPECT_FALSE(TgaLoader::readFile("im_work/large.tga", &fromFile));
    }
}

// The side limit and memory budget of every picture, read from the header
// before a pixel is allocated.
TEST(TgaReader, KeepsTheSideLimitAndBudgetOfEveryPicture)
{
    TgaImage img;
    const char* why = "";
    Bytes runs = rt::tga(10, 16384, 16384, 24, Bytes(4096, 0xFF));  // would fill 768 MB
    EXPECT_FALSE(TgaLoader::decode(runs.data(), runs.size(), &img, &why));
    EXPECT_STREQ(why, "TGA size out of range");
    Bytes wide = rt::tga(10, 8192, 8192, 32, {0xFF, 1, 2, 3, 4});
    EXPECT_FALSE(TgaLoader::decode(wide.data(), wide.size(), &img, &why));
    EXPECT_STREQ(why, kOverBudgetReason);
    Bytes small = rt::tga(2, 4, 2, 24, Bytes(24, 9));
    EXPECT_FALSE(TgaLoader::decode(small.data(), small.size(), &img, &why, 23));
    EXPECT_STREQ(why, kOverBudgetReason);
    EXPECT_TRUE(TgaLoader::decode(small.data(), small.size(), &img, &why, 24));
    EXPECT_EQ(img.pixels.size(), 24u);
}

TEST(TgaReader, RejectsWhatItCannotDecodeSafely)
{
    EXPECT_TRUE(rejects(rt::tga(2, 0, 4, 24, {})));
    EXPECT_TRUE(rejects(rt::tga(2, 4, 0, 24, {})));
    EXPECT_TRUE(rejects(rt::tga(3, 1, 1, 8, {7})));                  // grey
    EXPECT_TRUE(rejects(rt::tga(10, 1, 1, 16, {0x00, 1, 2})));       // run-length 16-bit
    EXPECT_TRUE(rejects(rt::tga(2, 2, 2, 24, Bytes(11, 1))));        // one byte short
    EXPECT_TRUE(rejects(rt::tga(10, 3, 1, 24, {0x83, 0, 0, 255})));  // run past the image
    EXPECT_TRUE(rejects(rt::tga(10, 3, 1, 24, {0x01, 1, 2, 3, 4, 5, 6, 0x02, 1, 2})));
    EXPECT_TRUE(rejects(rt::tga(10, 3, 1, 24, {0x81, 1, 2, 3})));    // stream ends early
    EXPECT_TRUE(rejects(rt::tga(10, 65535, 65535, 32, {0xFF, 1, 2, 3, 4})));
    EXPECT_TRUE(rejects(rt::tga(2, 65535, 65535, 32, Bytes(64, 0))));
    EXPECT_TRUE(rejects(rt::tga(2, 1, 1, 24, {}, 40)));  // ID field runs past the end
    EXPECT_TRUE(rejects(Bytes(17, 0)));
    Bytes mapped = rt::tga(1, 1, 1, 8, {0});
    mapped[1] = 1;
    EXPECT_TRUE(rejects(mapped));
    EXPECT_FALSE(TgaLoader::decode(nullptr, 100, nullptr));

    TgaImage img;
    const char* why = nullptr;
    EXPECT_FALSE(TgaLoader::readFile("no/such/file.tga", &img, &why));
    EXPECT_STREQ(why, "cannot open file");
    EXPECT_FALSE(TgaLoader::readFile(nullptr, &img));
    std::filesystem::create_directories("im_work");
    EXPECT_FALSE(TgaLoader::readFile("im_work", &img));  // a folder, not a file
}

// One ImageMagick encoding and the options that produce it.
struct Encoding {
    const char* name;
    const char* source;
    const char* options;
    int depth;
    int type;
    bool hasId;
    bool topLeft;
};

const Encoding kEncodings[] = {
    {"u24", "src24.png", "-type TrueColor -compress none", 24, 2, false, false},
    {"u32", "src32.png", "-type TrueColorAlpha -compress none", 32, 2, false, false},
    {"u16", "src24.png", "-type TrueColor -depth 5 -compress none", 16, 2, false, false},
    {"r24", "src24.png", "-type TrueColor -compress RLE", 24, 10, false, false},
    {"r32", "src32.png", "-type TrueColorAlpha -compress RLE", 32, 10, false, false},
    {"u24id", "src24.png", "-type TrueColor -compress none -set comment halvex", 24, 2, true, false},
    {"r32id", "src32.png", "-type TrueColorAlpha -compress RLE -set comment halvex", 32, 10, true, false},
    {"u24top", "src24.png", "-type TrueColor -compress none -orient TopLeft", 24, 2, false, true},
    {"r32top", "src32.png", "-type TrueColorAlpha -compress RLE -orient TopLeft", 32, 10, false, true},
    {"u16top", "src24.png", "-type TrueColor -depth 5 -compress none -orient TopLeft", 16, 2, false, true},
};

class ImageMagickFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::filesystem::create_directories("im_work");
        // Odd sizes catch row-stride slips; flat areas give run packets,
        // noise gives raw ones.
        ready = rt::run("convert -size 37x23 xc:red -seed 3 +noise Random -fill blue "
                        "-draw 'rectangle 0,0 20,5' im_work/src24.png") &&
                rt::run("convert im_work/src24.png -alpha set -channel A -seed 9 +noise Random +channel "
                        "-fill '#00ff0080' -draw 'rectangle 5,10 30,14' im_work/src32.png");
    }
    static bool ready;
};
bool ImageMagickFiles::ready = false;

// ImageMagick's pixels of a file as seen (auto-oriented), 8 bits a channel.
Bytes imageMagickPixels(const std::string& file, int channels)
{
    std::string out = file + (channels == 4 ? ".rgba" : ".rgb");
    std::string cmd = "convert " + file + " -auto-orient -depth 8 " + (channels == 4 ? "rgba:" : "rgb:") + out;
    if (!rt::run(cmd))
        return {};
    return rt::readFile(out);
}

TEST_F(ImageMagickFiles, ReaderAgreesWithImageMagickInEveryEncoding)
{
    ASSERT_TRUE(ready);
    for (const Encoding& e : kEncodings) {
        SCOPED_TRACE(e.name);
        std::string file = std::string("im_work/") + e.name + ".tga";
        ASSERT_TRUE(rt::run(std::string("convert im_work/") + e.source + " " + e.options + " " + file));
        Bytes bytes = rt::readFile(file);
        ASSERT_GE(bytes.size(), 18u);
        // The file really is the encoding this case is about.
        ASSERT_EQ(bytes[1], 0);
        ASSERT_EQ(bytes[2], e.type);
        ASSERT_EQ(bytes[16], e.depth);
        ASSERT_EQ(bytes[0] != 0, e.hasId);
        ASSERT_EQ((bytes[17] & 0x20) != 0, e.topLeft);

        TgaImage img;
        ASSERT_TRUE(TgaLoader::readFile(file.c_str(), &img));
        TgaImage fromMemory;
        ASSERT_TRUE(TgaLoader::decode(bytes.data(), bytes.size(), &fromMemory));
        EXPECT_EQ(img.pixels, fromMemory.pixels);

        int channels = e.depth == 32 ? 4 : 3;
        ASSERT_EQ(img.width, 37);
        ASSERT_EQ(img.height, 23);
        ASSERT_EQ(img.bytesPerPixel, channels);
        Bytes seen = imageMagickPixels(file, channels);
        ASSERT_EQ(seen.size(), img.pixels.size());

        // Rows stay in file order: a bottom-left file comes out upside down.
        size_t row = size_t(37 * channels);
        int mismatches = 0;
        for (int y = 0; y < 23; ++y) {
            int seenRow = e.topLeft ? y : 22 - y;
            for (size_t i = 0; i < row; ++i) {
                int ours = img.pixels[size_t(y) * row + i];
                int theirs = seen[size_t(seenRow) * row + i];
                // 16-bit: ImageMagick scales 5 bits to 8, we only shift.
                bool same = e.depth == 16 ? (ours & 7) == 0 && (ours >> 3) == (theirs * 31 + 127) / 255
                                          : ours == theirs;
                if (!same && ++mismatches < 5)
                    ADD_FAILURE() << "row " << y << " byte " << i << ": " << ours << " vs " << theirs;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

// Every prefix of a file shorter than its pixel data is rejected, every
// longer one decodes to the same pixels.
TEST_F(ImageMagickFiles, TruncationNeverDecodesGarbage)
{
    ASSERT_TRUE(ready);
    for (const char* name : {"u16", "u32", "r24", "r32id"}) {
        SCOPED_TRACE(name);
        Bytes bytes = rt::readFile(std::string("im_work/") + name + ".tga");
        ASSERT_FALSE(bytes.empty());
        TgaImage full = decode(bytes);
        ASSERT_FALSE(full.pixels.empty());
        bool seenOk = false;
        for (size_t n = 0; n <= bytes.size(); ++n) {
            bool ok;
            TgaImage img = decode(Bytes(bytes.begin(), bytes.begin() + long(n)), &ok);
            if (ok)
                EXPECT_EQ(img.pixels, full.pixels) << n;
            else
                EXPECT_FALSE(seenOk) << "prefix " << n << " fails after a shorter one decoded";
            seenOk = seenOk || ok;
        }
    }
}

// Bit flips, byte stomps and huge sizes: never a crash, never out of bounds
// (the sanitizers watch), and a decoded image is always whole.
TEST_F(ImageMagickFiles, MutatedCorpusIsHandledSafely)
{
    ASSERT_TRUE(ready);
    std::mt19937 random(1234);
    int decoded = 0, rejected = 0;
    for (const Encoding& e : kEncodings) {
        Bytes seed = rt::readFile(std::string("im_work/") + e.name + ".tga");
        ASSERT_FALSE(seed.empty()) << e.name;
        for (int round = 0; round < 300; ++round) {
            Bytes m = seed;
            int flips = 1 + int(random() % 8);
            for (int i = 0; i < flips; ++i) {
                // Half the flips land in the header, where they hurt most.
                size_t at = (round % 2) ? random() % 18 : random() % m.size();
                m[at] ^= uint8_t(1u << (random() % 8));
            }
            if (round % 5 == 0)
                m.resize(random() % m.size());
            if (round % 7 == 0 && m.size() >= 16) {
                m[12] = m[13] = m[14] = m[15] = 0xFF;
            }
            TgaImage img;
            if (TgaLoader::decode(m.data(), m.size(), &img)) {
                ++decoded;
                ASSERT_GT(img.width, 0);
                ASSERT_GT(img.height, 0);
                ASSERT_TRUE(img.bytesPerPixel == 3 || img.bytesPerPixel == 4);
                ASSERT_EQ(img.pixels.size(), size_t(img.width) * size_t(img.height) * size_t(img.bytesPerPixel));
            } else {
                ++rejected;
                ASSERT_TRUE(img.pixels.empty());
            }
        }
    }
    EXPECT_GT(decoded, 0);
    EXPECT_GT(rejected, 0);

    // The same through the file path, for a sample.
    Bytes seed = rt::readFile("im_work/r32.tga");
    for (int round = 0; round < 40; ++round) {
        Bytes m = seed;
        m[random() % 18] ^= uint8_t(1u << (random() % 8));
        m.resize(18 + random() % (m.size() - 18));
        ASSERT_TRUE(rt::writeFile("im_work/mutant.tga", m));
        TgaImage img;
        if (TgaLoader::readFile("im_work/mutant.tga", &img)) {
            ASSERT_EQ(img.pixels.size(), size_t(img.width) * size_t(img.height) * size_t(img.bytesPerPixel));
        }
    }
}

// The painter writes every image the game reads; each decodes with our
// reader and with ImageMagick to the same pixels.
TEST(GeneratedImages, EveryImageDecodesWithBothReaders)
{
    std::filesystem::remove_all("gen_work");
    ASSERT_TRUE(rt::run(std::string(HALVEX_IMAGEGEN) + " gen_work"));
    const char* expected[] = {"particle.tga", "cross.tga", "enemy.tga", "logo.tga", "arrow.tga",
                              "halvex/floor.tga", "halvex/wall.tga", "halvex/trim.tga", "halvex/metal.tga"};
    for (const char* name : expected) {
        SCOPED_TRACE(name);
        std::string file = std::string("gen_work/") + name;
        TgaImage img;
        ASSERT_TRUE(TgaLoader::readFile(file.c_str(), &img));
        Bytes seen = imageMagickPixels(file, img.bytesPerPixel);
        ASSERT_EQ(seen.size(), img.pixels.size());
        // Written top row first, so file order is the picture as seen.
        EXPECT_EQ(rt::readFile(file)[17] & 0x20, 0x20);
        EXPECT_TRUE(img.pixels == seen);
    }

    // Sprites carry alpha where the game blends them.
    TgaImage arrow, particle;
    ASSERT_TRUE(TgaLoader::readFile("gen_work/arrow.tga", &arrow));
    ASSERT_TRUE(TgaLoader::readFile("gen_work/particle.tga", &particle));
    ASSERT_EQ(arrow.bytesPerPixel, 4);
    // The hot spot is the first pixel; the bottom-left corner is clear.
    EXPECT_EQ(arrow.pixels[3], 255);
    EXPECT_EQ(arrow.pixels[size_t(arrow.height - 1) * size_t(arrow.width) * 4 + 3], 0);
    size_t centre = (size_t(particle.height / 2) * size_t(particle.width) + size_t(particle.width / 2)) * 4;
    EXPECT_GT(particle.pixels[centre + 3], 200);
    EXPECT_EQ(particle.pixels[3], 0);

    EXPECT_NE(std::system(HALVEX_IMAGEGEN " > /dev/null 2>&1"), 0);  // no OUTDIR: usage error
}

} // namespace
