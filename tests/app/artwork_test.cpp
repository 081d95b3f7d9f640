// The committed pictures in src/app/res are exactly what the generator draws, and they are
// well-formed: the sizes the program loads, visible pictures, a clean transparent key.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string>
#include <vector>
#include "artwork.h"
#include "support/testfiles.h"

namespace {

const char* const kFiles[] = {"program.ico", "state70.ico", "state71.ico", "state72.ico",
                              "state73.ico", "state74.ico", "toolbar.bmp", "toolbar_hot.bmp"};

std::string Committed(const std::string& name) {
    return ReadFileText(std::string(QX_SOURCE_DIR) + "/src/app/res/" + name);
}

uint32_t U16(const std::string& b, size_t at) {
    return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8;
}
uint32_t U32(const std::string& b, size_t at) {
    return U16(b, at) | U16(b, at + 2) << 16;
}

// Checks an icon's directory and images; returns the visible pixels of each image.
std::vector<int> IconVisiblePixels(const std::string& ico, const std::vector<int>& sizes) {
    std::vector<int> visible;
    EXPECT_EQ(U16(ico, 2), 1u);
    EXPECT_EQ(U16(ico, 4), sizes.size());
    for (size_t i = 0; i < sizes.size() && 6 + 16 * i + 16 <= ico.size(); i++) {
        size_t entry = 6 + 16 * i, n = size_t(sizes[i]);
        EXPECT_EQ(uint8_t(ico[entry]), n);
        EXPECT_EQ(U16(ico, entry + 6), 32u);
        size_t at = U32(ico, entry + 12), stride = (n + 31) / 32 * 4;
        EXPECT_EQ(U32(ico, entry + 8), 40 + n * n * 4 + stride * n);
        if (at + U32(ico, entry + 8) > ico.size()) break;
        EXPECT_EQ(U32(ico, at + 4), n);
        EXPECT_EQ(U32(ico, at + 8), 2 * n);
        int count = 0;
        for (size_t y = 0; y < n; y++) {
            for (size_t x = 0; x < n; x++) {
                bool transparent = ico[at + 40 + (y * n + x) * 4 + 3] == 0;
                bool masked = (uint8_t(ico[at + 40 + n * n * 4 + y * stride + x / 8]) >> (7 - x % 8)) & 1;
                EXPECT_EQ(masked, transparent) << "AND mask of the " << n << " px image at " << x << "," << y;
                count += !transparent;
            }
        }
        visible.push_back(count);
    }
    return visible;
}

TEST(Artwork, CommittedFilesAreWhatTheGeneratorDraws) {
    TempFolder folder;
    ASSERT_EQ(WriteArtwork(folder.path.c_str()), 0);
    for (const char* name : kFiles) {
        std::string fresh = ReadFileText(folder / name);
        ASSERT_NE(fresh, "<missing>") << name;
        // On failure, run scripts/artwork and look at the pictures before committing them.
        EXPECT_TRUE(fresh == Committed(name)) << name << " differs from the generator's output";
    }
}

TEST(Artwork, IconsHaveTheirSizesAndPictures) {
    for (int s = 0; s < 6; s++) {
        bool program = s == 0;
        std::vector<int> sizes = program ? std::vector<int>{16, 32, 48} : std::vector<int>{16, 32};
        std::vector<int> visible = IconVisiblePixels(Committed(kFiles[s]), sizes);
        ASSERT_EQ(visible.size(), sizes.size()) << kFiles[s];
        for (size_t i = 0; i < sizes.size(); i++) {
            if (s == 1)
                EXPECT_EQ(visible[i], 0) << "the empty state must be fully transparent";
            else
                EXPECT_GT(visible[i], sizes[i] * sizes[i] / 6) << kFiles[s] << " at " << sizes[i] << " px";
        }
    }
}

TEST(Artwork, ToolbarStripsAreKeyedEightBitImages) {
    for (const char* name : {"toolbar.bmp", "toolbar_hot.bmp"}) {
        std::string bmp = Committed(name);
        ASSERT_GE(bmp.size(), 14u + 40 + 1024 + 240 * 24) << name;
        EXPECT_EQ(bmp.substr(0, 2), "BM");
        EXPECT_EQ(U32(bmp, 14), 40u);
        EXPECT_EQ(U32(bmp, 18), 240u);
        EXPECT_EQ(U32(bmp, 22), 24u); // positive: bottom-up
        EXPECT_EQ(U16(bmp, 28), 8u);
        EXPECT_EQ(U32(bmp, 30), 0u);
        size_t pixels = U32(bmp, 10);
        ASSERT_EQ(pixels, 14u + 40 + 1024);
        // Light grey is the transparent key: palette entry 0 and no other.
        EXPECT_EQ(U32(bmp, 54) & 0xFFFFFF, 0xC0C0C0u);
        for (size_t i = 1; i < 256; i++)
            EXPECT_NE(U32(bmp, 54 + 4 * i) & 0xFFFFFF, 0xC0C0C0u) << name << " entry " << i;
        for (int cell = 0; cell < 10; cell++) {
            int drawn = 0;
            for (int y = 0; y < 24; y++)
                for (int x = 0; x < 24; x++)
                    drawn += bmp[pixels + size_t(y) * 240 + size_t(cell) * 24 + size_t(x)] != 0;
            EXPECT_GT(drawn, 24 * 24 / 6) << name << " image " << cell;
            EXPECT_LT(drawn, 24 * 24) << name << " image " << cell << " has no transparent background";
        }
    }
}

} // namespace
