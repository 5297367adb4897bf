// The mesh file reader: a line table over the file's bytes, a tokenizer
// and a keyword search that work the way the game's files were written
// for, and a parser that reads a fixed sequence of numbers after each
// keyword.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "model/mesh_data.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace model {

void clearMeshData(MESH_DATA& mesh, bool release) {
    auto empty = [release](auto& array) {
        if (release) {
            std::remove_reference_t<decltype(array)>().swap(array);
        } else {
            array.clear();
        }
    };
    empty(mesh.vertices);
    empty(mesh.faces);
    empty(mesh.materials);
    empty(mesh.textureNames);
    empty(mesh.faceMaterials);
    empty(mesh.normals);
    empty(mesh.normalFaces);
    empty(mesh.texCoords);
    empty(mesh.vertexMaterials);
    empty(mesh.textureBaseNames);
    empty(mesh.textureSlots);
    mesh.vertexCount = mesh.faceCount = mesh.materialCount = mesh.faceMaterialCount = -1;
    mesh.normalCount = mesh.normalFaceCount = mesh.texCoordCount = mesh.textureCount = -1;
    if (release) mesh.triangleVertexCount = -1;
}

// ---- line table ----

MeshText::MeshText(const uint8_t* data, size_t byteCount)
    : text(reinterpret_cast<const char*>(data)), size(byteCount) {
    // Offsets are 32-bit; the file loaders refuse larger files first.
    if (size > UINT32_MAX) size = 0;
    starts.reserve(size / 32 + 1);
    lengths.reserve(size / 32 + 1);
    const char* p = text;
    const char* end = text + size;
    const char* lineStart = p;
    // The text of the current line ends at its first NUL; the line itself
    // goes on to its line end.
    const char* lineTextEnd = nullptr;
    auto endLine = [&](const char* at) {
        const char* stop = lineTextEnd ? lineTextEnd : at;
        starts.push_back(uint32_t(lineStart - text));
        lengths.push_back(uint32_t(stop - lineStart));
        lineTextEnd = nullptr;
    };
    while (p < end) {
#if defined(__SSE2__)
        // Sixteen bytes at a time past the characters that cannot end a
        // line or its text.
        const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), nul = _mm_setzero_si128();
        while (end - p >= 16) {
            __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, lf), _mm_cmpeq_epi8(chunk, cr)),
                                       _mm_cmpeq_epi8(chunk, nul));
            int mask = _mm_movemask_epi8(hit);
            if (mask) {
                p += __builtin_ctz(unsigned(mask));
                break;
            }
            p += 16;
        }
        if (p >= end) break;
#endif
        char c = *p;
        if (c == '\n') {
            endLine(p);
            lineStart = ++p;
        } else if (c == '\r') {
            endLine(p);
            ++p;
            if (p < end && *p == '\n') ++p;
            lineStart = p;
        } else {
            if (c == '\0' && !lineTextEnd) lineTextEnd = p;
            ++p;
        }
    }
    if (lineStart < end) endLine(end);
}

// ---- tokens and numbers ----

namespace {

bool isSeparator(char c) { return c == ',' || c == ';'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Moves `at` to the first character that can start a token; false at the
// end of the text.
bool skipToToken(const MeshText& text, TextPosition& at) {
    int lines = text.lineCount();
    while (at.line < lines) {
        const char* s = text.line(at.line);
        int length = text.lineLength(at.line);
        while (at.column < length) {
            char c = s[at.column];
            if (c != ' ' && !isSeparator(c)) return true;
            ++at.column;
        }
        ++at.line;
        at.column = 0;
    }
    return false;
}

// A float the way atof yields it, then stored in a float: out-of-range
// values become infinities instead of an undefined conversion.
float narrow(double value) {
    if (value > double(FLT_MAX)) return INFINITY;
    if (value < -double(FLT_MAX)) return -INFINITY;
    return float(value);
}

// Whether from_chars reads the number at `p` exactly as strtod does:
// an optional minus, then a digit (not a hexadecimal prefix) or a point
// and a digit.
bool plainNumberStart(const char* p, const char* end) {
    if (p < end && *p == '-') ++p;
    if (p >= end) return false;
    if (isDigit(*p)) return !(*p == '0' && p + 1 < end && (p[1] == 'x' || p[1] == 'X'));
    return *p == '.' && p + 1 < end && isDigit(p[1]);
}

}  // namespace

bool nextToken(const MeshText& text, TextPosition& at, MeshToken& token) {
    token.length = 0;
    token.text[0] = 0;
    int lines = text.lineCount();
    while (at.line < lines) {
        const char* s = text.line(at.line);
        int length = text.lineLength(at.line);
        while (at.column < length) {
            char c = s[at.column];
            if (c == ' ') {
                ++at.column;
            } else if (isSeparator(c)) {
                if (token.length) {
                    token.text[token.length] = 0;
                    return true;
                }
                ++at.column;
            } else {
                if (token.length < kTokenLength) token.text[token.length++] = c;
                ++at.column;
            }
        }
        ++at.line;
        at.column = 0;
    }
    token.text[token.length] = 0;
    return false;
}

int32_t tokenToInt(const char* text, int length) {
    const char* p = text;
    const char* end = text + length;
    while (p < end && isCSpace(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    // strtol into a 64-bit long saturates; atoi keeps the low 32 bits.
    int64_t value = 0;
    bool saturated = false;
    for (; p < end && isDigit(*p); ++p) {
        if (value > (INT64_MAX - 9) / 10) {
            saturated = true;
        } else {
            value = value * 10 + (*p - '0');
        }
    }
    if (saturated) return negative ? int32_t(uint32_t(uint64_t(INT64_MIN))) : int32_t(uint32_t(uint64_t(INT64_MAX)));
    return int32_t(uint32_t(uint64_t(negative ? -value : value)));
}

float tokenToFloat(const char* text, int length) {
    const char* p = text;
    const char* end = text + length;
    while (p < end && isCSpace(*p)) ++p;
    const char* number = p;
    if (p < end && *p == '+' && plainNumberStart(p + 1, end) && p[1] != '-') number = p + 1;
    if (plainNumberStart(number, end)) {
        double value = 0.0;
        auto result = std::from_chars(number, end, value);
        if (result.ec == std::errc()) return narrow(value);
    }
    // Hexadecimal numbers, infinities, NaNs and values out of range: the C
    // library's own reading.
    char copy[kTokenLength + 1];
    size_t n = std::min<size_t>(size_t(end - p), kTokenLength);
    std::memcpy(copy, p, n);
    copy[n] = 0;
    return narrow(std::strtod(copy, nullptr));
}

// ---- keyword search ----

namespace {

// findBlock over the lines first..last.
int findBlockIn(const MeshText& text, int firstLine, int lastLine, const char* keyword) {
    int keywordLength = int(std::strlen(keyword));
    int matched = 0;
    if (firstLine < 0) firstLine = 0;
    lastLine = std::min(lastLine, text.lineCount() - 1);
    for (int line = firstLine; line <= lastLine; ++line) {
        const char* s = text.line(line);
        int length = text.lineLength(line);
        for (int i = 0; i < length; ++i) {
            char c = s[i];
            if (c == keyword[matched]) {
                ++matched;
            } else if (c != ' ') {
                matched = 0;
                break;
            }
            if (matched == keywordLength) {
                char after = i + 1 < length ? s[i + 1] : 0;
                if (after == ' ' || after == '{') return line;
            }
        }
    }
    return -1;
}

}  // namespace

int findBlock(const MeshText& text, int firstLine, const char* keyword) {
    return findBlockIn(text, firstLine, INT_MAX, keyword);
}

// ---- parser ----

namespace {

// Reads numbers from the token stream. Tokens that a number ends cleanly
// at a separator on their own line are read in place; everything else
// goes through the general tokenizer, so both read alike.
struct NumberReader {
    const MeshText& text;
    TextPosition at;
    MeshToken token;

    float real() {
        if (!skipToToken(text, at)) return 0.0f;
        const char* s = text.line(at.line);
        const char* p = s + at.column;
        const char* end = s + text.lineLength(at.line);
        if (plainNumberStart(p, end)) {
            double value = 0.0;
            auto result = std::from_chars(p, end, value);
            if (result.ec == std::errc() && result.ptr < end && isSeparator(*result.ptr)) {
                at.column = int(result.ptr - s);
                return narrow(value);
            }
        }
        nextToken(text, at, token);
        return tokenToFloat(token.text, token.length);
    }

    int32_t integer() {
        if (!skipToToken(text, at)) return 0;
        const char* s = text.line(at.line);
        const char* p = s + at.column;
        const char* end = s + text.lineLength(at.line);
        const char* q = p;
        if (q < end && *q == '-') ++q;
        const char* digits = q;
        int64_t value = 0;
        while (q < end && isDigit(*q) && q - digits < 9) value = value * 10 + (*q++ - '0');
        if (q > digits && q < end && isSeparator(*q)) {
            at.column = int(q - s);
            return int32_t(*p == '-' ? -value : value);
        }
        nextToken(text, at, token);
        return tokenToInt(token.text, token.length);
    }

    // A count: refused (false) when negative or above the limits.
    bool count(int32_t& out, int limit, bool boundedByText = true) {
        out = integer();
        return out >= 0 && out <= limit && (!boundedByText || size_t(out) <= text.byteCount());
    }

    void vector(render::Vec3& v) {
        v.x = real();
        v.y = real();
        v.z = real();
    }

    // A face: corner count and that many indices, each below `bound`.
    bool face(MeshFace& f, int minCorners, int32_t bound) {
        f.cornerCount = integer();
        if (f.cornerCount < minCorners || f.cornerCount > 4) return false;
        for (int i = 0; i < f.cornerCount; ++i) {
            f.index[i] = integer();
            if (f.index[i] < 0 || f.index[i] >= bound) return false;
        }
        return true;
    }
};

void copyTextureName(MeshName& name, const MeshToken& token) {
    // The quotation marks are the first and last characters of the token.
    int length = token.length >= 2 ? token.length - 2 : 0;
    length = std::min(length, kTextureNameLength - 1);
    std::memcpy(name.text, token.text + 1, size_t(length));
    name.text[length] = 0;
}

}  // namespace

bool parseMesh(MESH_DATA& mesh, const MeshText& text) {
    clearMeshData(mesh, false);
    mesh.triangleVertexCount = 0;
    int meshLine = findBlock(text, 0, "Mesh");
    if (meshLine < 0) return false;
    NumberReader in{text, {meshLine + 1, 0}, {}};

    if (!in.count(mesh.vertexCount, kMaxMeshElements)) return false;
    mesh.vertices.resize(size_t(mesh.vertexCount));
    for (render::Vec3& v : mesh.vertices) in.vector(v);

    if (!in.count(mesh.faceCount, kMaxMeshElements)) return false;
    mesh.faces.resize(size_t(mesh.faceCount));
    for (MeshFace& f : mesh.faces) {
        if (!in.face(f, 3, mesh.vertexCount)) return false;
        mesh.triangleVertexCount += f.cornerCount == 4 ? 6 : 3;
    }

    int listLine = findBlock(text, meshLine, "MeshMaterialList");
    if (listLine < 0) return false;
    in.at = {listLine + 1, 0};
    if (!in.count(mesh.materialCount, kMaxMaterials, false)) return false;
    if (!in.count(mesh.faceMaterialCount, kMaxMeshElements)) return false;
    mesh.faceMaterials.resize(size_t(mesh.faceMaterialCount));
    for (int32_t& m : mesh.faceMaterials) {
        m = in.integer();
        if (m < 0 || m >= mesh.materialCount) return false;
    }
    // Faces past a short list take its last entry; with no entry at all
    // the faces have no material.
    if (mesh.faceCount > 0 && mesh.faceMaterialCount == 0) return false;

    mesh.materials.resize(size_t(mesh.materialCount));
    mesh.textureNames.resize(size_t(mesh.materialCount));
    int searchLine = in.at.line;
    // Once a search from some line has failed, every search from that line
    // on fails: a file promising many materials and holding none is read
    // in one pass.
    int noMaterialFrom = INT_MAX;
    for (int i = 0; i < mesh.materialCount; ++i) {
        int found = searchLine >= noMaterialFrom ? -1 : findBlock(text, searchLine, "Material");
        if (found < 0) {
            noMaterialFrom = std::min(noMaterialFrom, searchLine);
            continue;  // black and untextured, as allocated
        }
        MeshMaterial& m = mesh.materials[size_t(i)];
        in.at = {found + 1, 0};
        for (int k = 0; k < 4; ++k) m.ambient[k] = in.real();
        m.power = in.real();
        for (int k = 0; k < 3; ++k) m.diffuse[k] = in.real();
        for (int k = 0; k < 3; ++k) m.specular[k] = in.real();
        int e = in.at.line;
        // Only a texture block opening on the very next line belongs to
        // the material.
        if (e + 1 < text.lineCount() && findBlockIn(text, e + 1, e + 1, "TextureFilename") == e + 1) {
            in.at = {e + 2, 0};
            nextToken(text, in.at, in.token);
            copyTextureName(mesh.textureNames[size_t(i)], in.token);
            searchLine = in.at.line;
        } else {
            searchLine = e + 1;
        }
    }

    int coordsFrom = searchLine;
    int normalLine = findBlock(text, meshLine, "MeshNormals");
    if (normalLine >= 0) {
        in.at = {normalLine + 1, 0};
        if (!in.count(mesh.normalCount, kMaxMeshElements)) return false;
        mesh.normals.resize(size_t(mesh.normalCount));
        for (render::Vec3& n : mesh.normals) in.vector(n);
        if (!in.count(mesh.normalFaceCount, kMaxMeshElements)) return false;
        mesh.normalFaces.resize(size_t(mesh.normalFaceCount));
        for (MeshFace& f : mesh.normalFaces)
            if (!in.face(f, 0, mesh.normalCount)) return false;
        coordsFrom = in.at.line;
    }

    int coordLine = findBlock(text, coordsFrom, "MeshTextureCoords");
    if (coordLine >= 0) {
        in.at = {coordLine + 1, 0};
        if (!in.count(mesh.texCoordCount, kMaxMeshElements)) return false;
        mesh.texCoords.resize(size_t(mesh.texCoordCount));
        for (TexCoord& t : mesh.texCoords) {
            t.u = in.real();
            t.v = in.real();
        }
    }
    return true;
}

bool parseMeshMemory(MESH_DATA& mesh, const uint8_t* data, size_t size) {
    clearMeshData(mesh, true);
    if (size > kMaxMeshFileBytes) return false;
    MeshText text(data, size);
    if (parseMesh(mesh, text)) return true;
    clearMeshData(mesh, true);
    return false;
}

}  // namespace model
