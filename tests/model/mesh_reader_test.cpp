#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "model/mesh_data.h"
#include "model_files.h"

using namespace model;
using namespace model_test;

namespace {

struct Text {
    explicit Text(std::string s) : bytes(bytesOf(s)), text(bytes.data(), bytes.size()) {}
    Bytes bytes;
    MeshText text;
};

std::vector<std::string> tokens(const std::string& source) {
    Text t(source);
    std::vector<std::string> out;
    TextPosition at;
    MeshToken token;
    while (nextToken(t.text, at, token)) out.push_back(token.text);
    if (token.length) out.push_back(token.text + std::string("<end>"));
    return out;
}

bool parse(MESH_DATA& mesh, const std::string& source) {
    Bytes b = bytesOf(source);
    return parseMeshMemory(mesh, b.data(), b.size());
}

// A minimal file around one material block, for the material quirks.
std::string withMaterialBlock(const std::vector<std::string>& block) {
    std::vector<std::string> l = {"Mesh {", "3;", "0;0;0;,", "1;0;0;,", "0;1;0;;", "1;", "3;0,1,2;;",
                                  "MeshMaterialList {", "1;", "1;", "0;;"};
    l.insert(l.end(), block.begin(), block.end());
    l.push_back("}");
    l.push_back("}");
    return crlf(l);
}

const std::vector<std::string> kMaterialLines = {"Material {", "1.0;0.5;0.25;1.0;;", "5.0;", "0.1;0.2;0.3;;",
                                                  "0.4;0.5;0.6;;"};

}  // namespace

TEST(MeshLines, LineEndsOfEveryKindCutTheTextAlike) {
    for (const char* source : {"ab\r\ncd\r\n", "ab\ncd\n", "ab\r\ncd", "ab\rcd\r"}) {
        Text t(source);
        ASSERT_EQ(t.text.lineCount(), 2) << source;
        EXPECT_EQ(std::string(t.text.line(0), size_t(t.text.lineLength(0))), "ab");
        EXPECT_EQ(std::string(t.text.line(1), size_t(t.text.lineLength(1))), "cd");
    }
    // A NUL ends its line's text; the next line is still read.
    Text nul(std::string("a\0b\r\ncd\r\n", 9));
    ASSERT_EQ(nul.text.lineCount(), 2);
    EXPECT_EQ(nul.text.lineLength(0), 1);
    EXPECT_EQ(nul.text.lineLength(1), 2);
    // Long lines cross the sixteen-byte scanning steps at every offset.
    for (int n = 0; n < 40; ++n) {
        Text t(std::string(size_t(n), 'x') + "\r\n" + std::string(size_t(n), 'y'));
        ASSERT_EQ(t.text.lineCount(), n ? 2 : 1) << n;
        EXPECT_EQ(t.text.lineLength(0), n);
    }
}

TEST(MeshTokens, SpacesVanishAndSeparatorsNeverGiveEmptyTokens) {
    EXPECT_EQ(tokens("1.0;2.0;;\r\n"), (std::vector<std::string>{"1.0", "2.0"}));
    EXPECT_EQ(tokens("1 2 .5;,;3\r\n"), (std::vector<std::string>{"12.5", "3<end>"}));
    EXPECT_EQ(tokens("\"my tex.bmp\";\r\n"), (std::vector<std::string>{"\"mytex.bmp\""}));
    // Tabs, braces and quotes are token characters; a token runs across
    // line ends.
    EXPECT_EQ(tokens("\t{1;\r\n12\r\n34;\r\n"), (std::vector<std::string>{"\t{1", "1234"}));
    EXPECT_TRUE(tokens(";;,\r\n  \r\n").empty());
}

TEST(MeshTokens, OverlongTokensKeepTheirFirstCharacters) {
    std::vector<std::string> t = tokens(std::string(600, '7') + ";8;");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], std::string(kTokenLength, '7'));
    EXPECT_EQ(t[1], "8");
}

TEST(MeshNumbers, ReadLikeTheCLibrary) {
    for (const char* s : {"12", "-7", "+3", "  42", "\t5x", "0x10", "", "-", "99999999999", "-99999999999",
                          "2147483648", "12abc", "1e3"}) {
        EXPECT_EQ(tokenToInt(s, int(std::strlen(s))), int32_t(std::atoi(s))) << s;
    }
    for (const char* s : {"1.5", "-0.25", "+2", "+-2", "\t1.0", ".5", "-.5", "1e3", "1e", "1e+", "0x1p3",
                          "inf", "-infinity", "nan", "1e999", "-1e999", "1e-320", "1.#QNAN0", "5.", "abc",
                          "00012.5000", "3.4028236e38"}) {
        float expected = float(std::strtod(s, nullptr));
        float got = tokenToFloat(s, int(std::strlen(s)));
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(got)) << s;
        } else {
            EXPECT_EQ(got, expected) << s;
        }
    }
}

TEST(MeshNumbers, RandomDecimalsRoundExactlyAsStrtod) {
    std::mt19937 random(7);
    char buf[64];
    for (int i = 0; i < 20000; ++i) {
        double value = std::ldexp(double(random()) / 4294967296.0 - 0.5, int(random() % 40) - 20);
        int digits = int(random() % 20) + 1;
        std::snprintf(buf, sizeof buf, i % 2 ? "%.*f" : "%.*e", digits, value);
        ASSERT_EQ(tokenToFloat(buf, int(std::strlen(buf))), float(std::strtod(buf, nullptr))) << buf;
    }
}

TEST(MeshBlocks, KeywordMustOpenItsLine) {
    Text t(crlf({"  Material {", "\tMaterial {", "MeshNormals {", "Mesh{", "M e s h  {", "xMesh {", "Mesh"}));
    EXPECT_EQ(findBlock(t.text, 0, "Material"), 0);  // spaces before it are skipped
    EXPECT_EQ(findBlock(t.text, 1, "Material"), -1);  // a tab is not
    EXPECT_EQ(findBlock(t.text, 0, "Mesh"), 3);       // "MeshNormals" is not "Mesh"
    EXPECT_EQ(findBlock(t.text, 4, "Mesh"), 4);       // spaces may break the keyword
    EXPECT_EQ(findBlock(t.text, 5, "Mesh"), -1);
}

TEST(MeshBlocks, AMatchCarriesAcrossLineEnds) {
    // A keyword ending its line counts when the next line begins with a
    // space and then a space or "{"; the next line is the one returned.
    EXPECT_EQ(findBlock(Text(crlf({"Mesh", "  {"})).text, 0, "Mesh"), 1);
    EXPECT_EQ(findBlock(Text(crlf({"Mesh", "{"})).text, 0, "Mesh"), -1);
    EXPECT_EQ(findBlock(Text(crlf({"Me", "sh {"})).text, 0, "Mesh"), 1);
}

TEST(MeshParsing, ReadsAllBlocksOfACrLfFile) {
    MeshSpec spec = quadMesh();
    spec.materials = {{1, 0.5f, 0, 1, ""}, {0.25f, 0.5f, 0.75f, 0.5f, "tex.bmp"}};
    spec.faces.push_back({0, 2, 3});
    spec.faceMaterials = {1, 0};
    flatNormals(spec);
    MESH_DATA mesh;
    ASSERT_TRUE(parse(mesh, spec.text()));
    EXPECT_EQ(mesh.vertexCount, 4);
    EXPECT_EQ(mesh.vertices[2].x, 1.0f);
    EXPECT_EQ(mesh.vertices[2].y, -1.0f);
    EXPECT_EQ(mesh.faceCount, 2);
    EXPECT_EQ(mesh.faces[0].cornerCount, 4);
    EXPECT_EQ(mesh.faces[1].index[2], 3);
    EXPECT_EQ(mesh.triangleVertexCount, 9);
    EXPECT_EQ(mesh.materialCount, 2);
    EXPECT_EQ(mesh.faceMaterials, (std::vector<int32_t>{1, 0}));
    // Face colour into ambient, the specular colour into diffuse, the
    // emissive colour into specular.
    const MeshMaterial& m = mesh.materials[1];
    EXPECT_EQ(m.ambient[2], 0.75f);
    EXPECT_EQ(m.ambient[3], 0.5f);
    EXPECT_EQ(m.power, 5.0f);
    EXPECT_EQ(m.diffuse[1], 0.2f);
    EXPECT_EQ(m.specular[0], 0.0f);
    EXPECT_STREQ(mesh.textureNames[1].text, "tex.bmp");
    EXPECT_STREQ(mesh.textureNames[0].text, "");
    EXPECT_EQ(mesh.normalCount, 1);
    EXPECT_EQ(mesh.normalFaceCount, 2);
    EXPECT_EQ(mesh.texCoordCount, 4);
    EXPECT_EQ(mesh.texCoords[2].v, 1.0f);
}

TEST(MeshParsing, BareLfAndAMissingFinalLineEndReadAsTheCrLfTwin) {
    MeshSpec spec = cubeMesh();
    spec.materials[0].texture = "a b.bmp";
    spec.texCoords.assign(8, TexCoord{0.5f, 0.25f});
    std::string twin = spec.text("\r\n");
    MESH_DATA a, b, c;
    ASSERT_TRUE(parse(a, twin));
    ASSERT_TRUE(parse(b, spec.text("\n")));
    ASSERT_TRUE(parse(c, twin.substr(0, twin.size() - 2)));
    for (const MESH_DATA* m : {&b, &c}) {
        EXPECT_EQ(m->vertexCount, a.vertexCount);
        EXPECT_EQ(std::memcmp(m->vertices.data(), a.vertices.data(), a.vertices.size() * 12), 0);
        EXPECT_EQ(std::memcmp(m->faces.data(), a.faces.data(), a.faces.size() * 20), 0);
        EXPECT_STREQ(m->textureNames[0].text, "ab.bmp");
        EXPECT_EQ(m->normalFaceCount, a.normalFaceCount);
        EXPECT_EQ(m->texCoordCount, 8);
    }
}

TEST(MeshParsing, MaterialQuirks) {
    MESH_DATA mesh;
    std::vector<std::string> spaced = kMaterialLines;
    spaced[0] = "   Material {";
    ASSERT_TRUE(parse(mesh, withMaterialBlock(spaced)));
    EXPECT_EQ(mesh.materials[0].ambient[1], 0.5f);

    // Tab-indented: not found, so black and untextured.
    std::vector<std::string> tabbed = kMaterialLines;
    tabbed[0] = "\tMaterial {";
    ASSERT_TRUE(parse(mesh, withMaterialBlock(tabbed)));
    EXPECT_EQ(mesh.materials[0].ambient[0], 0.0f);
    EXPECT_EQ(mesh.materials[0].ambient[3], 0.0f);

    // The texture block on the very next line, its name on the line after.
    std::vector<std::string> textured = kMaterialLines;
    textured.insert(textured.end(), {"TextureFilename {", "\"dir\\my file.bmp\";", "}", "}"});
    ASSERT_TRUE(parse(mesh, withMaterialBlock(textured)));
    EXPECT_STREQ(mesh.textureNames[0].text, "dir\\myfile.bmp");

    // Two lines down: not seen.
    std::vector<std::string> late = kMaterialLines;
    late.insert(late.end(), {"", "TextureFilename {", "\"a.bmp\";", "}", "}"});
    ASSERT_TRUE(parse(mesh, withMaterialBlock(late)));
    EXPECT_STREQ(mesh.textureNames[0].text, "");
    EXPECT_EQ(mesh.materials[0].ambient[0], 1.0f);
}

TEST(MeshParsing, SearchOrderOfNormalsAndCoordinates) {
    // Coordinates ahead of the material list are never found; normals
    // are searched from the mesh line and found anywhere after it.
    std::string source = crlf({"Mesh {", "3;", "0;0;0;,", "1;0;0;,", "0;1;0;;", "1;", "3;0,1,2;;",
                               "MeshTextureCoords {", "3;", "0;0;,", "1;0;,", "0;1;;", "}",
                               "MeshMaterialList {", "1;", "1;", "0;;", "Material {", "1;1;1;1;;", "0;",
                               "0;0;0;;", "0;0;0;;", "}", "}", "}"});
    MESH_DATA mesh;
    ASSERT_TRUE(parse(mesh, source));
    EXPECT_EQ(mesh.texCoordCount, -1);
    EXPECT_EQ(mesh.normalCount, -1);
    EXPECT_TRUE(mesh.normals.empty());

    MeshSpec spec = quadMesh();
    spec.writeNormals = false;
    ASSERT_TRUE(parse(mesh, spec.text()));
    EXPECT_EQ(mesh.normalCount, -1);
    EXPECT_EQ(mesh.texCoordCount, 4);
}

TEST(MeshParsing, ManyMaterialsWithoutBlocksReadInOnePass) {
    std::string source = crlf({"Mesh {", "3;", "0;0;0;,", "1;0;0;,", "0;1;0;;", "1;", "3;0,1,2;;",
                               "MeshMaterialList {", "4000;", "1;", "3999;;", "}", "}"});
    MESH_DATA mesh;
    ASSERT_TRUE(parse(mesh, source));
    EXPECT_EQ(mesh.materialCount, 4000);
    EXPECT_EQ(mesh.materials[3999].ambient[3], 0.0f);
}

TEST(MeshRefusal, CountsAndIndicesOutsideTheirArrays) {
    auto body = [](const std::string& vertexCount, const std::string& face, const std::string& faceMaterial) {
        return crlf({"Mesh {", vertexCount, "0;0;0;,", "1;0;0;,", "0;1;0;;", "1;", face, "MeshMaterialList {",
                     "1;", "1;", faceMaterial, "Material {", "1;1;1;1;;", "0;", "0;0;0;;", "0;0;0;;", "}", "}",
                     "}"});
    };
    MESH_DATA mesh;
    EXPECT_TRUE(parse(mesh, body("3;", "3;0,1,2;;", "0;;")));
    EXPECT_FALSE(parse(mesh, body("-3;", "3;0,1,2;;", "0;;")));
    EXPECT_FALSE(parse(mesh, body("2000000000;", "3;0,1,2;;", "0;;")));
    EXPECT_FALSE(parse(mesh, body("3;", "3;0,1,3;;", "0;;")));
    EXPECT_FALSE(parse(mesh, body("3;", "3;0,-1,2;;", "0;;")));
    EXPECT_FALSE(parse(mesh, body("3;", "5;0,1,2,0,1;;", "0;;")));
    EXPECT_FALSE(parse(mesh, body("3;", "2;0,1;;", "0;;")));
    EXPECT_FALSE(parse(mesh, body("3;", "3;0,1,2;;", "1;;")));
    EXPECT_EQ(mesh.vertexCount, -1);  // a refused mesh leaves the record cleared
    // No mesh, no material list.
    EXPECT_FALSE(parse(mesh, crlf({"MeshNormals {", "0;", "0;", "}"})));
    EXPECT_FALSE(parse(mesh, crlf({"Mesh {", "0;", "0;", "}"})));
    EXPECT_TRUE(parse(mesh, crlf({"Mesh {", "0;", "0;", "MeshMaterialList {", "0;", "0;", "}", "}"})));
}

TEST(MeshParsing, TextEndingEarlyReadsZeros) {
    MESH_DATA mesh;
    ASSERT_TRUE(parse(mesh, crlf({"Mesh {", "1;", "1;2;3;;", "0;", "MeshMaterialList {", "1;", "0;",
                                  "Material {", "0.5;", "MeshNormals {", "2;", "0;1;0;,", "7;"})));
    EXPECT_EQ(mesh.vertexCount, 1);
    EXPECT_EQ(mesh.vertices[0].z, 3.0f);
    EXPECT_EQ(mesh.materials[0].ambient[0], 0.5f);
    EXPECT_EQ(mesh.materials[0].ambient[1], 0.0f);
    ASSERT_EQ(mesh.normalCount, 2);
    EXPECT_EQ(mesh.normals[0].y, 1.0f);
    EXPECT_EQ(mesh.normals[1].x, 7.0f);
    EXPECT_EQ(mesh.normals[1].y, 0.0f);
    EXPECT_EQ(mesh.normalFaceCount, 0);
}
