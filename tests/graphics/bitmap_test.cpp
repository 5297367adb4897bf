#include <gtest/gtest.h>

#include <climits>

#include "graphics/bitmap.h"
#include "platform/text_codec.h"
#include "test_images.h"

using namespace graphics;
using namespace graphics_test;

namespace {

uint32_t gradient(int x, int y) { return uint32_t(x * 40) << 16 | uint32_t(y * 30) << 8 | uint32_t(x + y); }
uint32_t paletteColour(int i) { return uint32_t(i) << 16 | uint32_t(255 - i) << 8 | uint32_t(i ^ 0x5A); }

bool load(const Bytes& bytes, std::unique_ptr<G_BMP>& slot) {
    return loadImageMemory(bytes.data(), bytes.size(), slot);
}

void expectPixels(const G_BMP& image, const PixelFn& pixel) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixelRgb(x, y), pixel(x, y)) << "at " << x << "," << y;
}

TEST(ImageRowLayout, TwentyFourBitRowsArePaddedToFourBytes) {
    std::unique_ptr<G_BMP> image;
    ASSERT_TRUE(load(makeBmp24(4, 3, gradient), image));
    EXPECT_EQ(image->rowBytes(), 12);
    EXPECT_EQ(image->bitsSize(), 3u * 4 * 3);
    expectPixels(*image, gradient);

    ASSERT_TRUE(load(makeBmp24(5, 3, gradient), image));
    EXPECT_EQ(image->rowBytes(), 16);
    EXPECT_EQ(image->bitsSize(), 3u * 16);
    EXPECT_EQ(image->depth(), 24);
    expectPixels(*image, gradient);

    ASSERT_TRUE(load(makeG2(7, 2, gradient), image));
    EXPECT_EQ(image->rowBytes(), 24);
    expectPixels(*image, gradient);
}

TEST(ImageRowLayout, EightBitRowsAreExactlyWidthBytes) {
    auto index = [](int x, int y) { return uint8_t(x * 16 + y); };
    std::unique_ptr<G_BMP> image;
    ASSERT_TRUE(load(makeG8(8, 2, index, paletteColour), image));
    EXPECT_EQ(image->bitsSize(), 16u);
    EXPECT_EQ(image->depth(), 8);
    expectPixels(*image, [&](int x, int y) { return paletteColour(index(x, y)); });

    // BMP files pad 8-bit rows; the padding is dropped on reading.
    ASSERT_TRUE(load(makeBmp8(6, 3, paletteColour, index), image));
    EXPECT_EQ(image->rowBytes(), 6);
    EXPECT_EQ(image->bitsSize(), 18u);
    expectPixels(*image, [&](int x, int y) { return paletteColour(index(x, y)); });
}

TEST(ImageRowLayout, TopDownFilesAreStoredBottomUp) {
    std::unique_ptr<G_BMP> bottomUp, topDown;
    BmpOptions o;
    o.topDown = true;
    ASSERT_TRUE(load(makeBmp24(5, 4, gradient), bottomUp));
    ASSERT_TRUE(load(makeBmp24(5, 4, gradient, o), topDown));
    EXPECT_EQ(topDown->height(), 4);
    EXPECT_EQ(topDown->header().height, 4);
    EXPECT_EQ(std::vector<uint8_t>(topDown->bits(), topDown->bits() + topDown->bitsSize()),
              std::vector<uint8_t>(bottomUp->bits(), bottomUp->bits() + bottomUp->bitsSize()));
}

TEST(ImagePalettes, ShortColourTablesAndExtendedHeaders) {
    auto index = [](int x, int y) { return uint8_t((x + y) % 16); };
    BmpOptions o;
    o.colorsUsed = 16;
    std::unique_ptr<G_BMP> image;
    ASSERT_TRUE(load(makeBmp8(4, 4, paletteColour, index, o), image));
    expectPixels(*image, [&](int x, int y) { return paletteColour(index(x, y)); });
    EXPECT_EQ(image->colorTable()[16].red, 0);  // entries past the table stay black

    BmpOptions v5;
    v5.headerSize = 124;
    ASSERT_TRUE(load(makeBmp24(3, 3, gradient, v5), image));
    expectPixels(*image, gradient);
}

TEST(ImagePalettes, GzKeepsTheColourTableAndCopyPaletteTakesAnother) {
    auto index = [](int x, int) { return uint8_t(x); };
    G_BMP8 withPalette, withoutPalette;
    Bytes gp = makeG8(4, 1, index, paletteColour);
    Bytes gz = makeG8(4, 1, index, nullptr);
    ASSERT_TRUE(withPalette.loadMemory(gp.data(), gp.size()));
    ASSERT_TRUE(withoutPalette.loadMemory(gz.data(), gz.size()));
    EXPECT_EQ(withoutPalette.pixelRgb(3, 0), 0u);  // a fresh table is black

    ASSERT_TRUE(withoutPalette.copyPalette(withPalette));
    EXPECT_EQ(withoutPalette.pixelRgb(3, 0), paletteColour(3));
    ASSERT_TRUE(withoutPalette.loadMemory(gz.data(), gz.size()));
    EXPECT_EQ(withoutPalette.pixelRgb(2, 0), paletteColour(2));

    G_BMP24 trueColour;
    ASSERT_TRUE(trueColour.create(2, 2));
    EXPECT_FALSE(withoutPalette.copyPalette(trueColour));
    G_BMP8 blank;  // no pixels: nothing to attach a palette to
    EXPECT_FALSE(blank.copyPalette(withPalette));
}

TEST(TruncatedImages, MissingBytesReadAsZero) {
    BmpOptions o;
    o.dropLastPadding = true;
    std::unique_ptr<G_BMP> image;
    ASSERT_TRUE(load(makeBmp24(5, 3, gradient, o), image));
    expectPixels(*image, gradient);

    // Half the rows: the bottom rows (stored first) survive.
    Bytes half = makeBmp24(4, 4, gradient);
    half.resize(54 + 2 * 12 + 5);
    ASSERT_TRUE(load(half, image));
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(image->pixelRgb(x, 3), gradient(x, 3));
        EXPECT_EQ(image->pixelRgb(x, 0), 0u);
    }
    EXPECT_EQ(image->pixelRgb(1, 1), gradient(1, 1) & 0xFFFF);  // blue and green made it

    Bytes gp = makeG8(4, 4, [](int, int) { return uint8_t(7); }, paletteColour);
    gp.resize(gp.size() - 768 + 3 * 8);  // palette cut after 8 entries
    ASSERT_TRUE(load(gp, image));
    EXPECT_EQ(image->pixelRgb(0, 0), paletteColour(7));
    EXPECT_EQ(image->colorTable()[8].red, 0);

    Bytes headerOnly = makeG2(2, 2, gradient);
    headerOnly.resize(10);
    ASSERT_TRUE(load(headerOnly, image));
    EXPECT_EQ(image->pixelRgb(1, 1), 0u);
}

TEST(HostileImages, BadHeadersAreRefusedWithoutAllocating) {
    std::unique_ptr<G_BMP> image;
    auto bmpWith = [](auto change) {
        Bytes b = makeBmp24(2, 2, gradient);
        change(b);
        return b;
    };
    auto setU32 = [](Bytes& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
    };
    const Bytes refused[] = {
        bmpWith([&](Bytes& b) { setU32(b, 18, 0); }),                  // width 0
        bmpWith([&](Bytes& b) { setU32(b, 18, uint32_t(-5)); }),       // negative width
        bmpWith([&](Bytes& b) { setU32(b, 22, 0); }),                  // height 0
        bmpWith([&](Bytes& b) { setU32(b, 22, uint32_t(INT_MIN)); }),  // height cannot be negated
        bmpWith([&](Bytes& b) { setU32(b, 18, 1u << 30); }),           // width x 3 overflows 32 bits
        bmpWith([&](Bytes& b) { setU32(b, 18, 8192); setU32(b, 22, 8192); }),  // 192 MiB of pixels
        bmpWith([&](Bytes& b) { b[28] = 32; }),                        // 32 bits per pixel
        bmpWith([&](Bytes& b) { b[28] = 0; }),                         // 0 bits per pixel
        bmpWith([&](Bytes& b) { setU32(b, 30, 1); }),                  // run-length compressed
        bmpWith([&](Bytes& b) { setU32(b, 14, 12); }),                 // core header
        bmpWith([&](Bytes& b) { setU32(b, 14, 0xFFFFFFF0); }),         // header size past the file
        bmpWith([&](Bytes& b) { b.resize(40); }),                      // info header cut short
    };
    for (size_t i = 0; i < std::size(refused); ++i) {
        EXPECT_FALSE(load(refused[i], image)) << "case " << i;
        ASSERT_TRUE(image) << "case " << i;
        EXPECT_FALSE(image->hasPixels()) << "case " << i;
    }

    BmpOptions tooMany;
    tooMany.colorsUsed = 300;
    EXPECT_FALSE(load(makeBmp8(2, 2, paletteColour, [](int, int) { return uint8_t(0); }, tooMany), image));

    Bytes g2 = makeG2(1, 1, gradient);
    setU32(g2, 2, uint32_t(-1));
    EXPECT_FALSE(load(g2, image));
    Bytes gp = makeG8(1, 1, [](int, int) { return uint8_t(0); }, paletteColour);
    setU32(gp, 2, 100000);
    EXPECT_FALSE(load(gp, image));
    Bytes shortRaw = {'G', 'P', 1, 0, 0};
    EXPECT_FALSE(load(shortRaw, image));
}

TEST(ImageLoader, PicksTheReaderByMagicAndRefusesOthers) {
    ScratchFolder folder;
    folder.write("Tex/a.bmp", makeBmp24(2, 2, gradient));
    folder.write("Tex/b.g2", makeG2(2, 2, gradient));
    folder.write("Tex/c.gz", makeG8(2, 2, [](int, int) { return uint8_t(1); }, nullptr));
    folder.write("Tex/d.png", {0x89, 'P', 'N', 'G'});
    folder.write("Tex/e.bmp", {'B'});

    std::unique_ptr<G_BMP> slot;
    ASSERT_TRUE(loadImage("tex\\A.BMP", slot));
    EXPECT_NE(dynamic_cast<G_BMP_G*>(slot.get()), nullptr);
    ASSERT_TRUE(loadImage("Tex\\b.g2", slot));
    EXPECT_NE(dynamic_cast<G_BMP24*>(slot.get()), nullptr);
    ASSERT_TRUE(loadImage("Tex\\c.gz", slot));
    EXPECT_NE(dynamic_cast<G_BMP8*>(slot.get()), nullptr);

    EXPECT_FALSE(loadImage("Tex\\d.png", slot));
    EXPECT_EQ(slot, nullptr);
    ASSERT_TRUE(loadImage("Tex\\a.bmp", slot));
    EXPECT_FALSE(loadImage("Tex\\e.bmp", slot));
    EXPECT_EQ(slot, nullptr);
    EXPECT_FALSE(loadImage("Tex\\missing.bmp", slot));
    EXPECT_EQ(slot, nullptr);
    EXPECT_FALSE(loadImage(nullptr, slot));
}

TEST(ImageLoader, BlankImagesAreZeroedAndSized) {
    G_BMP24 rgb;
    ASSERT_TRUE(rgb.create(5, 2));
    EXPECT_EQ(rgb.bitsSize(), 32u);
    EXPECT_EQ(rgb.depth(), 24);
    G_BMP8 indexed;
    ASSERT_TRUE(indexed.create(5, 2));
    EXPECT_EQ(indexed.bitsSize(), 10u);
    EXPECT_FALSE(indexed.create(0, 4));
    EXPECT_FALSE(indexed.hasPixels());
    EXPECT_FALSE(rgb.create(kMaxImageSide + 1, 1));
    G_BMP base;
    EXPECT_FALSE(base.create(4, 4));
}

std::string logText(const ScratchFolder& folder) {
    Bytes bytes = folder.read(kPaletteLogName);
    return platform::cp932ToUtf8(std::string(bytes.begin(), bytes.end()));
}

TEST(PaletteFile, GreyRampFileAndLog) {
    ScratchFolder folder;
    G_BMP8 palette;
    ASSERT_TRUE(palette.create(4, 4));
    ASSERT_TRUE(palette.loadPaletteFile(nullptr));
    for (int i = 0; i < 256; ++i) ASSERT_EQ(palette.colorTable()[i].green, i);
    EXPECT_EQ(logText(folder),
              "～パレット生成を開始します～\r\n\r\nLOGPARETTEを生成・・・完了\r\n"
              "完了\r\nHPALETTEを生成・・・完了\r\nパレットの関連づけ・・・完了\r\n\r\n"
              "～すべてのパレット生成作業は完了しました。～");
    // The log really is Shift-JIS on disk.
    Bytes raw = folder.read(kPaletteLogName);
    EXPECT_EQ(raw[0], 0x81);
    EXPECT_EQ(raw[1], 0x60);

    Bytes pdt;
    for (int i = 0; i < 256; ++i) {
        pdt.push_back(uint8_t(i));
        pdt.push_back(uint8_t(255 - i));
        pdt.push_back(9);
    }
    folder.write("pal.pdt", pdt);
    ASSERT_TRUE(palette.loadPaletteFile("pal.pdt"));
    EXPECT_EQ(palette.colorTable()[10].red, 10);
    EXPECT_EQ(palette.colorTable()[10].green, 245);
    EXPECT_EQ(palette.colorTable()[10].blue, 9);
    EXPECT_NE(logText(folder).find("パレットファイルをオープン・・・完了\r\nHPALETTE"), std::string::npos);
}

TEST(PaletteFile, MissingFileEndsTheLogAtTheOpen) {
    ScratchFolder folder;
    G_BMP8 palette;
    ASSERT_TRUE(palette.create(4, 4));
    EXPECT_FALSE(palette.loadPaletteFile("pal.pdt"));
    std::string log = logText(folder);
    const std::string tail = "パレットファイルをオープン・・・";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);

    G_BMP8 noPixels;
    EXPECT_FALSE(noPixels.loadPaletteFile(nullptr));
    log = logText(folder);
    const std::string attach = "パレットの関連づけ・・・";
    ASSERT_GE(log.size(), attach.size());
    EXPECT_EQ(log.substr(log.size() - attach.size()), attach);
}

}  // namespace
