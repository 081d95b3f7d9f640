// The committed pictures in src/app/res are exactly what the generator draws, and they are
// well-formed: the sizes the program loads, visible pictures, a clean transparent key.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string>
#include <vector>
#include "artwork.h"
#include "support/testfiles.h"

namespace {

// The icons first, then the toolbar strips.
const char* const kFiles[] = {"program.ico",   "state70.ico",       "state71.ico",   "state72.ico",
                              "state73.ico",   "state74.ico",       "toolbar.bmp",   "toolbar_hot.bmp",
                              "toolbar30.bmp", "toolbar30_hot.bmp", "toolbar36.bmp", "toolbar36_hot.bmp",
                              "toolbar48.bmp", "toolbar48_hot.bmp"};
const std::vector<std::string> kIcons(kFiles, kFiles + 6), kStrips(kFiles + 6, std::end(kFiles));

std::string Committed(const std::string& name) {
    return ReadFileText(std::string(QX_SOURCE_DIR) + "/src/app/res/" + name);
}

// A little-endian number; a read past the file's end throws, failing the test.
uint32_t Le(const std::string& b, size_t at, int bytes = 4) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; i--)
        value = value << 8 | uint8_t(b.at(at + size_t(i)));
    return value;
}

TEST(Artwork, CommittedFilesAreWhatTheGeneratorDraws) {
    TempFolder folder;
    ASSERT_EQ(WriteArtwork(folder.path.c_str()), 0);
    for (const char* name : kFiles)
        // On failure, run scripts/artwork and look at the pictures before committing them.
        EXPECT_TRUE(ReadFileText(folder / name) == Committed(name)) << name << " differs from the generator";
}

// 32-bit images of 16 to 32 pixels (the program's up to 64) whose AND mask is their alpha:
// visible pictures, but the empty state fully transparent.
TEST(Artwork, IconsHaveTheirSizesAndPictures) {
    for (const std::string& name : kIcons) {
        std::string ico = Committed(name);
        ASSERT_EQ(Le(ico, 4, 2), name[0] == 'p' ? 6u : 4u) << name;
        for (size_t i = 0; i < Le(ico, 4, 2); i++) {
            size_t entry = 6 + 16 * i, n = Le(ico, entry, 1), at = Le(ico, entry + 12),
                   stride = (n + 31) / 32 * 4;
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(n) + " px");
            EXPECT_EQ(Le(ico, entry + 6, 2), 32u);
            EXPECT_EQ(Le(ico, entry + 8), 40 + n * n * 4 + stride * n);
            EXPECT_EQ(Le(ico, at + 4), n);
            EXPECT_EQ(Le(ico, at + 8), 2 * n);
            size_t visible = 0, wrongMask = 0;
            for (size_t p = 0; p < n * n; p++) {
                bool transparent = ico.at(at + 40 + p * 4 + 3) == 0;
                size_t maskByte = at + 40 + n * n * 4 + p / n * stride + p % n / 8;
                wrongMask += ((uint8_t(ico.at(maskByte)) >> (7 - p % n % 8)) & 1) != transparent;
                visible += !transparent;
            }
            EXPECT_EQ(wrongMask, 0u);
            if (name == kIcons[1])
                EXPECT_EQ(visible, 0u);
            else
                EXPECT_GT(visible, n * n / 6);
        }
    }
}

// Strips of ten square images, 8 bits: light grey is the transparent key, palette entry 0
// and no other, and each image is drawn on it.
TEST(Artwork, ToolbarStripsAreKeyedEightBitImages) {
    for (const std::string& name : kStrips) {
        std::string bmp = Committed(name);
        size_t pixels = Le(bmp, 10), n = Le(bmp, 22);
        ASSERT_EQ(pixels, 14u + 40 + 1024) << name;
        ASSERT_EQ(Le(bmp, 18), n * 10) << name;
        for (size_t i = 0; i < 256; i++)
            EXPECT_EQ((Le(bmp, 54 + 4 * i) & 0xFFFFFF) == 0xC0C0C0, i == 0) << name << " palette entry " << i;
        for (size_t cell = 0; cell < 10; cell++) {
            size_t drawn = 0;
            for (size_t p = 0; p < n * n; p++)
                drawn += bmp.at(pixels + p / n * n * 10 + cell * n + p % n) != 0;
            EXPECT_TRUE(drawn > n * n / 6 && drawn < n * n) << name << " image " << cell << ": " << drawn;
        }
    }
}

} // namespace
