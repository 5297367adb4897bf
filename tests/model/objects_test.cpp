#include <gtest/gtest.h>

#include <cstring>

#include "model/objects.h"
#include "model_fixture.h"

using namespace model;
using namespace model_test;

namespace {

struct Entry {
    std::string key;
    std::vector<std::string> values;
    int count;
};

int record(void* context, const char* key, const KeywordValues& values) {
    Entry e{key, {}, values.count};
    for (int i = 0; i < kDescriptionValues; ++i) e.values.push_back(values.text[i]);
    static_cast<std::vector<Entry>*>(context)->push_back(e);
    return kKeywordUnknown;
}

std::vector<Entry> entries(const std::string& text) {
    std::vector<Entry> out;
    Bytes b = bytesOf(text);
    EXPECT_TRUE(parseDescription(b.data(), b.size(), record, &out));
    return out;
}

PartSpec meshPart(const std::string& mesh) {
    PartSpec p;
    p.kind = 1;
    p.name = "root";
    p.meshFile = mesh;
    return p;
}

// The dummy model of a game folder: one part without mesh.
void writeDummy(const ScratchFolder& folder) {
    PartSpec p;
    p.name = "dummy";
    folder.write("system\\dummy\\dummy.mdl", modelFile({p}));
}

}  // namespace

TEST(DescriptionEntries, KeysValuesAndTheirQuirks) {
    auto e = entries("MODEL:[a.mdl]\r\nSCALE:[ 2.5]\r\nANIME:[3,walk.ani,]\r\nBOX :[b.x]\r\n");
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].key, "MODEL");
    EXPECT_EQ(e[0].values[0], "a.mdl");
    EXPECT_EQ(e[0].count, 1);
    EXPECT_EQ(e[1].values[0], " 2.5");  // values are not trimmed
    EXPECT_EQ(e[2].count, 2);            // a trailing comma opens no field
    EXPECT_EQ(e[2].values[1], "walk.ani");
    EXPECT_EQ(e[3].key, "BOX ");  // a space before the colon stays in the key

    // Line ends vanish anywhere; text between entries starts the next key.
    e = entries("MO\r\nDEL:[x\r\n.x] SCALE:[1]");
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].key, "MODEL");
    EXPECT_EQ(e[0].values[0], "x.x");
    EXPECT_EQ(e[1].key, " SCALE");

    // An empty value gives one empty field; fields past five are counted.
    e = entries("A:[]B:[1,2,3,4,5,6,7]");
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].count, 1);
    EXPECT_EQ(e[0].values[0], "");
    EXPECT_EQ(e[1].count, 7);
    EXPECT_EQ(e[1].values[4], "5");

    // No closing bracket: the last entry is dropped.
    e = entries("A:[1]B:[2");
    ASSERT_EQ(e.size(), 1u);
    // Overlong values keep 127 characters.
    e = entries("A:[" + std::string(300, 'v') + "]");
    EXPECT_EQ(e[0].values[0], std::string(127, 'v'));
}

using ObjectLoading = ModelFixture;

TEST_F(ObjectLoading, CharaWithModelScaleBoxAndAnimations) {
    write("data\\chr\\body.x", quadMesh().text());
    write("data\\chr\\box.x", cubeMesh().text());
    write("data\\chr\\hero.mdl", modelFile({meshPart("body.x")}));
    write("data\\chr\\walk.ani", animeFile("Hero.mdl", {{{0, 90}}}, 20));
    write("data\\chr\\hero.cha",
          "MODEL:[hero.mdl]\r\nSCALE:[2]\r\nBOX:[box.x,0.5,1]\r\nANIME:[1,walk.ani]\r\nCOLOR:[red]\r\n");
    CHARA chara;
    ASSERT_TRUE(loadDescription(chara, "data\\chr\\hero.cha"));
    EXPECT_EQ(chara.hasContent, 1);
    EXPECT_EQ(chara.isMeshModel, 0);
    EXPECT_STREQ(chara.folder, "data\\chr\\");
    EXPECT_STREQ(chara.modelName, "hero.mdl");
    EXPECT_EQ(chara.getScale(), 2.0f);
    EXPECT_EQ(chara.model.scale, 2.0f);
    // Shell 0.125 / 2 out along -z.
    EXPECT_EQ(chara.model.parts[0].shell.vertices[0].z, -0.0625f);
    EXPECT_STREQ(chara.collisionFile, "data\\chr\\box.x");
    EXPECT_EQ(chara.collisionShape.planeCount, 6);
    EXPECT_EQ(chara.collisionShape.lowestY, -2.0f);
    EXPECT_EQ(chara.collisionShape.offset.x, 0.5f);
    EXPECT_EQ(chara.collisionShape.offset.y, 1.0f);
    EXPECT_EQ(chara.collisionShape.offset.z, 0.0f);
    EXPECT_EQ(chara.animeFrameCount(1), 20);
    EXPECT_EQ(chara.animeFrameCount(0), 0);
    EXPECT_EQ(chara.animeFrameCount(30), 0);
    EXPECT_STREQ(chara.animeFiles[1], "walk.ani");

    chara.release();
    EXPECT_EQ(chara.hasContent, 0);
    EXPECT_EQ(chara.animeFrameCount(1), 0);
    EXPECT_EQ(chara.collisionShape.planeCount, 0);
    EXPECT_STREQ(chara.collisionFile, "");
    EXPECT_EQ(chara.model.parts[0].mesh.vertexCount, -1);
    EXPECT_EQ(chara.getScale(), 1.0f);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ObjectLoading, AMeshModelIsWrappedInTheDummyModel) {
    writeDummy(folder);
    MeshSpec m = quadMesh();
    m.materials[0].texture = "skin.bmp";
    write("prop\\Box.MDL", m.text());
    writeTexture("prop\\skin.bmp");
    write("prop\\spin.ani", animeFile("DUMMY.MDL", {{{0, 0}, {10, 90}}}, 10));
    write("prop\\box.cha", "MODEL:[Box.MDL]\r\nANIME:[0,spin.ani]\r\n");
    CHARA chara;
    ASSERT_TRUE(loadDescription(chara, "prop\\box.cha"));
    EXPECT_EQ(chara.isMeshModel, 1);
    EXPECT_STREQ(chara.model.name, "dummy.mdl");
    const MODEL_PART& p = chara.model.parts[0];
    EXPECT_EQ(p.kind, 1);
    EXPECT_EQ(chara.model.hasShell, 1);
    EXPECT_EQ(p.mesh.vertexCount, 6);
    EXPECT_EQ(p.shell.vertices[0].z, -0.125f);
    ASSERT_GE(p.mesh.textureSlot, 0);
    EXPECT_STREQ(store.textureSlot(p.mesh.textureSlot).folder, "prop\\");
    EXPECT_EQ(chara.animeFrameCount(0), 10);
}

TEST_F(ObjectLoading, FailuresOfEachFile) {
    writeDummy(folder);
    write("m.mdl", modelFile({meshPart("")}));
    CHARA chara;
    EXPECT_FALSE(loadDescription(chara, "missing.cha"));
    EXPECT_EQ(chara.hasContent, 1);  // released by the next reset

    // A failing model still loads a CHARA; a failing animation does not.
    write("a.cha", "MODEL:[nomodel.mdl]\r\n");
    EXPECT_TRUE(loadDescription(chara, "a.cha"));
    write("b.cha", "MODEL:[m.mdl]\r\nANIME:[2,none.ani]\r\n");
    EXPECT_FALSE(loadDescription(chara, "b.cha"));
    write("c.cha", "MODEL:[m.mdl]\r\nANIME:[30,x.ani]\r\n");
    EXPECT_FALSE(loadDescription(chara, "c.cha"));
    write("d.cha", "MODEL:[m.mdl]\r\nANIME:[-1,x.ani]\r\nANIME:[4]\r\n");
    EXPECT_FALSE(loadDescription(chara, "d.cha"));
    write("e.cha", "MODEL:[m.mdl]\r\nANIME:[4]\r\n");
    EXPECT_TRUE(loadDescription(chara, "e.cha"));
    // The base class knows neither BOX nor ANIME, and reports the model.
    OBJECTBASE base;
    EXPECT_FALSE(loadDescription(base, "a.cha"));
    write("f.cha", "MODEL:[mesh.x]\r\n");
    EXPECT_FALSE(loadDescription(base, "f.cha"));  // the mesh file is missing
    EXPECT_EQ(boxes(), (std::vector<std::string>{"ファイルが読み込めませんでした。|nomodel.mdl",
                                                 "ファイルが読み込めませんでした。|nomodel.mdl"}));
}

TEST_F(ObjectLoading, ScaleZeroGivesAShellOnTheSurface) {
    write("q.x", quadMesh().text());
    write("q.mdl", modelFile({meshPart("q.x")}));
    write("q.cha", "MODEL:[q.mdl]\r\nSCALE:[0]\r\nBOX:[q.x]\r\n");
    OBJECT object;
    ASSERT_TRUE(loadDescription(object, "q.cha"));
    const MODEL_PART& p = object.model.parts[0];
    for (int i = 0; i < 6; ++i) EXPECT_EQ(p.shell.vertices[size_t(i)].z, 0.0f);
    EXPECT_EQ(object.collisionShape.planeCount, 0);
    EXPECT_EQ(object.getScale(), 0.0f);
}

TEST_F(ObjectLoading, NoBoxMeansNoCollisionShape) {
    write("q.x", quadMesh().text());
    write("dir\\q.mdl", modelFile({meshPart("..\\q.x")}));
    write("dir\\q.cha", "MODEL:[q.mdl]\r\n");
    OBJECT object;
    ASSERT_TRUE(loadDescription(object, "dir\\q.cha"));
    EXPECT_EQ(object.collisionShape.planeCount, 0);
    EXPECT_STREQ(object.collisionFile, "");
    // A path without a backslash reads from the current folder.
    write("top.cha", "MODEL:[dir\\q.mdl]\r\n");
    ASSERT_TRUE(loadDescription(object, "top.cha"));
    EXPECT_STREQ(object.folder, "");
    EXPECT_STREQ(object.model.name, "dir\\q.mdl");
}
