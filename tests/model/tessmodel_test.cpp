#include <gtest/gtest.h>

#include <random>

#include "model/objects.h"
#include "model_fixture.h"
#include "model_text.h"
#include "system_asset_sources.h"

using namespace model;
using namespace model_test;
using tessmodel::FileKind;

namespace {

std::string text(FileKind kind, const Bytes& b) {
    std::string out, error;
    EXPECT_TRUE(tessmodel::toText(kind, b.data(), b.size(), out, error)) << error;
    return out;
}

Bytes binary(const std::string& t) {
    Bytes out;
    std::string error;
    EXPECT_TRUE(tessmodel::fromText(t, out, error)) << error;
    return out;
}

std::string buildError(const std::string& t) {
    Bytes out;
    std::string error;
    EXPECT_FALSE(tessmodel::fromText(t, out, error));
    return error;
}

Bytes sampleModel() {
    PartSpec a;
    a.kind = 1;
    a.name = "body \"main\"\\x";
    a.meshFile = "body.x";
    a.children = {1, -1, 2};
    a.vectors[3] = {0.1f, -0.0f, 1e-30f};
    a.vectors[6] = {3.14159274f, 1e30f, -2.5f};
    PartSpec b;
    b.kind = 2;
    b.name = "\x83\x41\x81\x5b\x83\x80";  // a name in code page 932
    b.parent = 0;
    return modelFile({a, b, b});
}

Bytes sampleAnime() {
    return animeFile("Hero.MDL", {{{0, 10, 20, 30, 1, -1, 1, 0.5f, 0.1f, -3}, {12, 359, 0, -90, -1, 1, 0, 1, 2, 3, 7}},
                                  {},
                                  {{0}}},
                     24);
}

}  // namespace

TEST(ModelText, RoundTripsAreByteExact) {
    Bytes model = sampleModel();
    std::string t = text(FileKind::Model, model);
    EXPECT_NE(t.find("name \"body \\\"main\\\"\\\\x\""), std::string::npos) << t;
    EXPECT_NE(t.find("children 1 -1 2\n"), std::string::npos);
    EXPECT_NE(t.find("v6 3.1415927 1e+30 -2.5\n"), std::string::npos) << t;
    EXPECT_EQ(binary(t), model);

    Bytes anime = sampleAnime();
    t = text(FileKind::Anime, anime);
    EXPECT_NE(t.find("key 12 rot 359 0 -90 dir -1 1 0 move 1 2 3 mesh 7\n"), std::string::npos) << t;
    EXPECT_EQ(binary(t), anime);
}

TEST(ModelText, EveryByteOfAFileHasItsPlace) {
    // Bytes after a name's terminator, key padding, NaNs, trailing bytes.
    std::mt19937 random(11);
    for (FileKind kind : {FileKind::Model, FileKind::Anime}) {
        Bytes base = kind == FileKind::Model ? sampleModel() : sampleAnime();
        for (int i = 0; i < 200; ++i) {
            Bytes b = base;
            size_t header = kind == FileKind::Model ? 8 : 4 + kNameLength + 8;
            // Highest part/track stays; every other byte may change.
            for (int k = 0; k < 6; ++k) {
                size_t at = header + random() % (b.size() - header - (kind == FileKind::Anime ? 4 : 0));
                b[at] = uint8_t(random());
            }
            if (i % 3 == 0) b.push_back(uint8_t(random()));
            if (kind == FileKind::Anime) std::memcpy(b.data() + 8, "\0zz", 3);
            ASSERT_EQ(binary(text(kind, b)), b) << i;
        }
    }
}

TEST(ModelText, KindsAreTold) {
    Bytes m = sampleModel(), a = sampleAnime();
    EXPECT_EQ(tessmodel::guessKind("x.bin", m.data(), m.size()), FileKind::Model);
    EXPECT_EQ(tessmodel::guessKind("x.bin", a.data(), a.size()), FileKind::Anime);
    EXPECT_EQ(tessmodel::guessKind("X.MDL", a.data(), a.size()), FileKind::Model);
}

TEST(ModelText, FaultsAreReportedWithTheirLine) {
    EXPECT_EQ(buildError("model\nhighest 0\nroot 0\npart 0\n  kind 300\n"),
              "line 5: \"300\" is not an integer from 0 to 255");
    EXPECT_EQ(buildError("model\nhighest 100\n"), "line 2: \"100\" is not an integer from -2147483648 to 99");
    EXPECT_EQ(buildError("anime\nversion 1\nmodel \"a\nhighest 0\n"),
              "line 3: name without its closing quotation mark");
    EXPECT_EQ(buildError("mesh\n"), "line 1: \"model\" or \"anime\" expected");
    EXPECT_EQ(buildError("model\nhighest -1\nroot -1\nextra 1\n"), "line 4: unexpected \"extra\"");
    EXPECT_EQ(buildError("anime\nversion 1\nmodel \"m\"\nhighest 0\nunused 0\ntrack 0\n  key 0 rot 0 0\nframes 1\n"),
              "line 7: key FRAME rot X Y Z dir X Y Z move X Y Z mesh M [pad A B C] expected");
    std::string text, error;
    Bytes cut = sampleModel();
    cut.resize(700);
    EXPECT_FALSE(tessmodel::toText(FileKind::Model, cut.data(), cut.size(), text, error));
    EXPECT_EQ(error, "shorter than its 3 parts");
}

using SystemAssets = ModelFixture;

TEST_F(SystemAssets, TheHostsCopiesServeAGameFolderWithoutThem) {
    setHostAssetRoot("");  // beside the test program, where the build puts them
    std::string path = systemAssetPath("system\\board\\board.cha");
    EXPECT_EQ(path[0], '\\');  // absolute, in backslash form
    OBJECTBASE board;
    ASSERT_TRUE(loadDescription(board, path.c_str()));
    const RENDER_MESH& quad = board.model.parts[board.model.rootPart].mesh;
    ASSERT_EQ(quad.vertexCount, 6);
    const float expected[6][2] = {{-0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, -0.5f}, {-0.5f, 0.5f}, {0.5f, -0.5f}, {-0.5f, -0.5f}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(quad.vertices[size_t(i)].x, expected[i][0]);
        EXPECT_EQ(quad.vertices[size_t(i)].y, expected[i][1]);
    }
    // A lone mesh goes through the host's dummy model.
    write("prop\\rock.x", quadMesh().text());
    write("prop\\rock.cha", "MODEL:[rock.x]\r\n");
    CHARA rock;
    ASSERT_TRUE(loadDescription(rock, "prop\\rock.cha"));
    EXPECT_STREQ(rock.model.name, "dummy.mdl");
    EXPECT_EQ(rock.model.parts[0].mesh.vertexCount, 6);
    // The light ramp loads through the texture store.
    std::string fill = systemAssetPath("system\\texure\\fill.bmp");
    store.setTextureFolder("");
    int slot = store.findOrLoadTexture(fill.c_str());
    ASSERT_GE(slot, 0);
    EXPECT_EQ(store.textureSlot(slot).size.bottom, 256);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(SystemAssets, TheGameFoldersOwnFilesWin) {
    setHostAssetRoot("");
    write("System\\Board\\Board.cha", "MODEL:[q.mdl]\r\n");
    EXPECT_EQ(systemAssetPath("system\\board\\board.cha"), "system\\board\\board.cha");
    EXPECT_NE(systemAssetFolder("system\\dummy\\", "dummy.mdl"), "system\\dummy\\");
    write("system\\dummy\\dummy.mdl", modelFile({PartSpec{}}));
    EXPECT_EQ(systemAssetFolder("system\\dummy\\", "dummy.mdl"), "system\\dummy\\");
    // Neither has it: the game path stays.
    EXPECT_EQ(systemAssetPath("system\\none.bmp"), "system\\none.bmp");
}

TEST(SystemAssetSources, TheLightRampRunsFromWhiteAtTheTopToBlack) {
    Bytes b = tessmodel::lightRampBitmap();
    ASSERT_EQ(b.size(), 54u + 256u * 8u);
    EXPECT_EQ(b[54], 0);                    // bottom row, stored first
    EXPECT_EQ(b[54 + 255 * 8 + 5], 255);    // top row
}
