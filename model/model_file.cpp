// Model files (part trees) and animation files: little-endian records of
// fixed size, read from memory; the file functions only read the bytes.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/byte_reader.h"
#include "model/messages.h"
#include "model/model_local.h"
#include "platform/file_report.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/text_codec.h"

namespace model {

namespace {

struct Folders {
    char model[kFolderLength] = {};
    char mesh[kFolderLength] = {};
    char anime[kFolderLength] = {};
};
Folders folders;
graphics::TextureStore* store = nullptr;

void defaultPresenter(const std::string& text, const std::string& caption) {
    platform::showMessageBox(text, caption, nullptr);
}
MessagePresenter presenter = defaultPresenter;

float readFloat(platform::ByteReader& in) { return in.f32(); }

void readName(platform::ByteReader& in, char* out) {
    in.copy(reinterpret_cast<uint8_t*>(out), kNameLength);
    // Fields are written as fixed buffers; one without its terminator
    // still ends inside the field.
    out[kNameLength - 1] = 0;
}

// A part, table or mesh index a model may name: any negative value means
// none; 100 and above point outside the tables.
bool indexFits(int32_t index) { return index < kModelParts; }

}  // namespace

// ---- services ----

void setTextureStore(graphics::TextureStore* textureStore) { store = textureStore; }
graphics::TextureStore* textureStore() { return store; }

void setMessagePresenter(MessagePresenter p) { presenter = p ? p : defaultPresenter; }

void showModelMessage(const std::string& text, const char* caption) {
    std::string cp932Caption = platform::isUtf8(caption) ? platform::utf8ToCp932(caption) : caption;
    presenter(text, cp932Caption);
}

std::string notFoundText(const char* name) {
    std::string pattern = platform::utf8ToCp932(messages::kNotFound);
    size_t at = pattern.find("%s");
    return pattern.substr(0, at) + name + pattern.substr(at + 2);
}

void copyName(char* out, size_t capacity, const char* text) {
    size_t n = text ? std::min(std::strlen(text), capacity - 1) : 0;
    if (n) std::memcpy(out, text, n);
    out[n] = 0;
}

std::string joinPath(const char* folder, const char* name) { return std::string(folder) + name; }

void setModelFolder(const char* folder) {
    char text[kFolderLength];
    copyName(text, sizeof text, folder);
    std::memcpy(folders.model, text, sizeof text);
    std::memcpy(folders.mesh, text, sizeof text);
    std::memcpy(folders.anime, text, sizeof text);
    setStoreTextureFolder(text);
}

const char* modelFolder() { return folders.model; }

// ---- models ----

MODEL_PART::MODEL_PART() {
    std::fill(std::begin(children), std::end(children), -1);
    vectors[0] = {1.0f, 0.0f, 0.0f};
    vectors[1] = {0.0f, 1.0f, 0.0f};
    vectors[2] = {0.0f, 0.0f, 1.0f};
}

MODEL_DATA::MODEL_DATA() {
    for (int i = 0; i < kModelParts; ++i) parts[i].meshSource = i;
}

void resetModel(MODEL_DATA& model) {
    for (int i = 0; i < kModelParts; ++i) {
        MODEL_PART& p = model.parts[i];
        p.kind = 0;
        p.parent = -1;
        std::fill(std::begin(p.children), std::end(p.children), -1);
        p.vectors[0] = {1.0f, 0.0f, 0.0f};
        p.vectors[1] = {0.0f, 1.0f, 0.0f};
        p.vectors[2] = {0.0f, 0.0f, 1.0f};
        for (int v = 3; v < kPartVectors; ++v) p.vectors[v] = {};
        p.meshSource = i;
        p.meshFile[0] = 0;
        releaseMeshTexture(p.mesh);
        clearRenderMesh(p.mesh);
        clearRenderMesh(p.shell);
    }
    model.drawPosition = {};
    model.hasShell = 0;
    model.rootPart = -1;
    model.highestPart = -1;
}

bool readModelParts(MODEL_DATA& model, const uint8_t* data, size_t size, size_t* trailing) {
    platform::ByteReader in(data, size);
    int32_t highest = in.i32();
    int32_t root = in.i32();
    if (in.hasFailed() || highest >= kModelParts || !indexFits(root)) return false;
    if (highest >= 0 && in.remaining() < size_t(highest + 1) * kModelPartBytes) return false;
    model.highestPart = highest < 0 ? -1 : highest;
    model.rootPart = root;
    for (int i = 0; i <= highest; ++i) {
        MODEL_PART& p = model.parts[i];
        p.kind = in.u8();
        readName(in, p.name);
        readName(in, p.meshFile);
        p.parent = in.i32();
        for (int32_t& child : p.children) child = in.i32();
        for (render::Vec3& v : p.vectors) {
            v.x = readFloat(in);
            v.y = readFloat(in);
            v.z = readFloat(in);
        }
        p.vectors[4] = {};
        p.translation = {};
        if (!indexFits(p.parent) || !std::all_of(std::begin(p.children), std::end(p.children), indexFits))
            return false;
    }
    if (trailing) *trailing = in.remaining();
    return !in.hasFailed();
}

bool loadModelMemory(MODEL_DATA& model, const char* fileName, const uint8_t* data, size_t size, bool withShell,
                     float shellDistance) {
    resetModel(model);
    model.hasShell = withShell ? 1 : 0;
    copyName(model.name, sizeof model.name, fileName);
    if (!readModelParts(model, data, size)) {
        resetModel(model);
        model.hasShell = withShell ? 1 : 0;
        platform::reportFileOnce("cannot use the model '%s': it is damaged (shorter than its parts, or a part "
                                 "number past 99)",
                                 joinPath(folders.model, fileName));
        showModelMessage(fileName, messages::kFileNotRead);
        return false;
    }
    MESH_DATA scratch;
    for (int i = 0; i <= model.highestPart; ++i) {
        MODEL_PART& p = model.parts[i];
        if (p.kind != 1 || !p.meshFile[0]) continue;
        std::string path = joinPath(folders.mesh, p.meshFile);
        bool loaded = withShell ? loadMeshWithShell(scratch, path.c_str(), p.mesh, p.shell, shellDistance, 1.0f)
                                : loadMesh(scratch, path.c_str(), p.mesh, 1.0f);
        clearMeshData(scratch, true);
        if (!loaded) {
            showModelMessage(notFoundText(path.c_str()), messages::kFileNotRead);
            return false;
        }
        if (!acquireMeshTexture(p.mesh)) {
            showModelMessage(notFoundText(p.mesh.textureName), messages::kFileNotRead);
            return false;
        }
    }
    // A model without a root part (-1) has its origin at 0.
    model.origin = model.rootPart >= 0 ? model.parts[model.rootPart].vectors[6] : render::Vec3{};
    model.scale = 1.0f;
    model.scaleOffset = {};
    return true;
}

bool loadModelFile(MODEL_DATA& model, const char* fileName, bool withShell, float shellDistance) {
    if (!fileName) fileName = "";
    std::vector<uint8_t> data;
    if (!platform::readFile(joinPath(folders.model, fileName), data)) {
        if (!platform::wasRefusedAsSpecialFile())
            platform::reportFileOnce("cannot read the model '%s'", joinPath(folders.model, fileName));
        resetModel(model);
        model.hasShell = withShell ? 1 : 0;
        showModelMessage(fileName, messages::kFileNotRead);
        return false;
    }
    return loadModelMemory(model, fileName, data.data(), data.size(), withShell, shellDistance);
}

// ---- animations ----

void resetAnimeTrack(ANIME_TRACK& track) {
    for (ANIME_KEY& key : track.keys) key = ANIME_KEY{};
    track.keys[0].frame = 0;
    track.part = -1;
    track.enabled = 0;
}

namespace {

bool sameModelName(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int x = std::tolower(static_cast<unsigned char>(*a));
        int y = std::tolower(static_cast<unsigned char>(*b));
        if (x != y) return false;
        if (!x) return true;
    }
}

void readKey(platform::ByteReader& in, ANIME_KEY& key) {
    key.frame = int16_t(in.u16());
    for (int16_t& r : key.rotation) r = int16_t(in.u16());
    for (int8_t& d : key.direction) d = int8_t(in.u8());
    key.padding1 = in.u8();
    for (float& t : key.translation) t = readFloat(in);
    key.meshSource = int16_t(in.u16());
    key.padding2[0] = in.u8();
    key.padding2[1] = in.u8();
}

}  // namespace

bool loadAnimeMemory(ANIME_DATA& anime, const MODEL_DATA& model, const uint8_t* data, size_t size) {
    platform::ByteReader in(data, size);
    if (in.i32() != kAnimeVersion || in.hasFailed()) return false;
    char name[kNameLength];
    readName(in, name);
    if (in.hasFailed()) return false;
    if (!sameModelName(name, model.name)) {
        for (ANIME_TRACK& track : anime.tracks) resetAnimeTrack(track);
        anime.frameCount = 0;
        return false;
    }
    int32_t highest = in.i32();
    in.i32();  // not used
    if (in.hasFailed() || highest >= kAnimeTracks) return false;
    int tracks = highest < 0 ? 0 : highest + 1;
    if (in.remaining() < size_t(tracks) * kTrackKeys * kAnimeKeyBytes + 4) return false;
    // Read whole before anything changes, so a malformed file leaves the
    // animation as it was.
    auto keys = std::make_unique<ANIME_KEY[]>(size_t(tracks) * kTrackKeys);
    for (int i = 0; i < tracks * kTrackKeys; ++i) {
        readKey(in, keys[size_t(i)]);
        if (!indexFits(keys[size_t(i)].meshSource)) return false;
    }
    int32_t frameCount = in.i32();
    if (in.hasFailed()) return false;
    for (int i = 0; i < tracks; ++i) {
        ANIME_TRACK& track = anime.tracks[i];
        track.part = i;
        track.enabled = model.parts[i].kind;
        std::copy_n(&keys[size_t(i) * kTrackKeys], kTrackKeys, track.keys);
    }
    anime.frameCount = frameCount;
    return true;
}

bool loadAnimeFile(ANIME_DATA& anime, const MODEL_DATA& model, const char* fileName) {
    std::vector<uint8_t> data;
    if (!fileName) return false;
    const std::string path = joinPath(folders.anime, fileName);
    if (!platform::readFile(path, data)) {
        if (!platform::wasRefusedAsSpecialFile()) platform::reportFileOnce("cannot read the animation '%s'", path);
        return false;
    }
    if (loadAnimeMemory(anime, model, data.data(), data.size())) return true;
    platform::reportFileOnce("cannot use the animation '%s': it is damaged, or has more tracks or parts than "
                             "its model allows",
                             path);
    return false;
}

}  // namespace model
