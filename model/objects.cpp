// The object classes: a model with its description keywords, a collision
// shape, and key-frame animations.
#include "model/objects.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/mesh_data.h"
#include "model/model_local.h"
#include "model/system_assets.h"
#include "platform/file_report.h"
#include "platform/files.h"

namespace model {

namespace {

// 0.125 world units once the model is scaled; a scale of 0 (or one that
// is not a number) gives no shell offset rather than infinities.
float shellDistanceFor(float scale) {
    float distance = 0.125f / scale;
    return std::isfinite(distance) ? distance : 0.0f;
}

bool endsWithMdl(const char* name) {
    size_t n = std::strlen(name);
    return n >= 3 && std::strcmp(name + n - 3, "mdl") == 0;
}

}  // namespace

// ---- OBJECTBASE ----

OBJECTBASE::OBJECTBASE() { resetModel(model); }

OBJECTBASE::~OBJECTBASE() { resetObject(); }

void OBJECTBASE::resetObject() {
    position = {};
    rotation = {};
    isMeshModel = 0;
    scale = 1.0f;
    modelName[0] = 0;
    if (hasContent == 1) {
        unloadContent();
        hasContent = 0;
    }
}

bool OBJECTBASE::loadContent() {
    if (endsWithMdl(modelName)) {
        setModelFolder(folder);
        if (!loadModelFile(model, modelName, true, shellDistanceFor(scale))) return false;
    } else {
        isMeshModel = 1;
        std::string dummyFolder = systemAssetFolder("system\\dummy\\", "dummy.mdl");
        setModelFolder(dummyFolder.c_str());
        if (!loadModelFile(model, "dummy.mdl", false, 0.03f)) return false;
        setModelFolder(folder);
        std::string path = joinPath(folder, modelName);
        MODEL_PART& part = model.parts[0];
        MESH_DATA scratch;
        bool loaded =
            loadMeshWithShell(scratch, path.c_str(), part.mesh, part.shell, shellDistanceFor(scale), 1.0f);
        clearMeshData(scratch, true);
        if (!loaded) return false;
        model.hasShell = 1;
        if (!acquireMeshTexture(part.mesh)) return false;
        part.kind = 1;
    }
    setScale(scale);
    return true;
}

void OBJECTBASE::unloadContent() {
    modelName[0] = 0;
    resetModel(model);
}

int OBJECTBASE::handleKeyword(const char* key, const KeywordValues& values) {
    if (std::strcmp(key, "MODEL") == 0) {
        copyName(modelName, sizeof modelName, values.text[0]);
        return kKeywordHandled;
    }
    if (std::strcmp(key, "SCALE") == 0) {
        scale = float(std::atof(values.text[0]));
        return kKeywordHandled;
    }
    return kKeywordUnknown;
}

void OBJECTBASE::setScale(float value) {
    scale = value;
    model.scale = value;
}

// ---- OBJECT ----

OBJECT::OBJECT() {
    resetCollisionShape(collisionShape);
    collisionShape.hitPlane = -1;
}

OBJECT::~OBJECT() { resetObject(); }

bool OBJECT::loadContent() {
    OBJECTBASE::loadContent();
    return true;
}

void OBJECT::unloadContent() {
    OBJECTBASE::unloadContent();
    collisionFile[0] = 0;
    resetCollisionShape(collisionShape);
    collisionOffset = {};
}

int OBJECT::handleKeyword(const char* key, const KeywordValues& values) {
    int result = OBJECTBASE::handleKeyword(key, values);
    if (result != kKeywordUnknown) return result;
    if (std::strcmp(key, "BOX") == 0) {
        collisionOffset = {};
        copyName(collisionFile, sizeof collisionFile, joinPath(folder, values.text[0]).c_str());
        if (values.count > 1) collisionOffset.x = float(std::atof(values.text[1]));
        if (values.count > 2) collisionOffset.y = float(std::atof(values.text[2]));
        if (values.count > 3) collisionOffset.z = float(std::atof(values.text[3]));
        return kKeywordHandled;
    }
    return kKeywordUnknown;
}

void OBJECT::setScale(float value) {
    OBJECTBASE::setScale(value);
    if (collisionFile[0]) {
        loadCollisionShape(collisionShape, collisionFile, value);
        collisionShape.offset = collisionOffset;
    }
}

// ---- CHARA ----

CHARA::CHARA() {
    for (ANIME_DATA& anime : animations) {
        for (ANIME_TRACK& track : anime.tracks) resetAnimeTrack(track);
        anime.frameCount = 0;
    }
}

CHARA::~CHARA() { resetObject(); }

bool CHARA::loadContent() {
    OBJECT::loadContent();
    animeIndex = 0;
    animeFrame = 0.0f;
    // Animation files are named relative to the description, whatever
    // folder the model load left set.
    setModelFolder(folder);
    for (int slot = 0; slot < kAnimations; ++slot) {
        if (animeFiles[slot][0] && !loadAnimeFile(animations[slot], model, animeFiles[slot])) return false;
    }
    return true;
}

void CHARA::unloadContent() {
    OBJECT::unloadContent();
    for (int slot = 0; slot < kAnimations; ++slot) {
        for (ANIME_TRACK& track : animations[slot].tracks) resetAnimeTrack(track);
        animations[slot].frameCount = 0;
        animeFiles[slot][0] = 0;
    }
    animeIndex = 0;
    animeFrame = 0.0f;
}

int CHARA::handleKeyword(const char* key, const KeywordValues& values) {
    int result = OBJECT::handleKeyword(key, values);
    if (result != kKeywordUnknown) return result;
    if (std::strcmp(key, "ANIME") == 0) {
        // An entry without a file name names nothing.
        if (values.count < 2) return kKeywordHandled;
        int slot = std::atoi(values.text[0]);
        if (slot < 0 || slot >= kAnimations) return kKeywordFailed;
        copyName(animeFiles[slot], sizeof animeFiles[slot], values.text[1]);
        return kKeywordHandled;
    }
    return kKeywordUnknown;
}

int CHARA::animeFrameCount(int slot) const {
    return slot >= 0 && slot < kAnimations ? animations[slot].frameCount : 0;
}

// ---- description files ----

namespace {

// Up to the first NUL: the text of the file.
size_t textLength(const uint8_t* data, size_t size) {
    if (!size) return 0;
    const void* nul = std::memchr(data, 0, size);
    return nul ? size_t(static_cast<const uint8_t*>(nul) - data) : size;
}

void splitValues(const std::string& text, KeywordValues& values) {
    values = KeywordValues{};
    int field = 0;
    size_t length = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == ',') {
            // A comma as the very last character opens no field.
            if (i + 1 < text.size()) ++field;
            length = 0;
            continue;
        }
        if (field < kDescriptionValues && length + 1 < size_t(kValueLength)) values.text[field][length++] = c;
    }
    values.count = field + 1;
}

int objectKeyword(void* context, const char* key, const KeywordValues& values) {
    return static_cast<OBJECTBASE*>(context)->handleKeyword(key, values);
}

}  // namespace

bool parseDescription(const uint8_t* data, size_t size, KeywordHandler handle, void* context) {
    size_t end = textLength(data, size);
    size_t at = 0;
    std::string key, value;
    KeywordValues values;
    while (at < end) {
        key.clear();
        while (at < end && data[at] != ':') {
            if (data[at] != '\r' && data[at] != '\n') key += char(data[at]);
            ++at;
        }
        // The colon and the opening bracket after it.
        at += 2;
        if (at > end) return true;
        value.clear();
        while (at < end && data[at] != ']') {
            if (data[at] != '\r' && data[at] != '\n') value += char(data[at]);
            ++at;
        }
        if (at >= end) return true;  // no closing bracket: the entry is dropped
        ++at;
        splitValues(value, values);
        if (handle(context, key.c_str(), values) == kKeywordFailed) return false;
    }
    return true;
}

namespace {

bool describe(OBJECTBASE& object, const char* path, const uint8_t* data, size_t size) {
    const char* slash = std::strrchr(path, '\\');
    size_t folderLength = slash ? size_t(slash - path) + 1 : 0;
    // A folder the object cannot hold would send every file elsewhere.
    if (folderLength >= sizeof object.folder) {
        platform::reportFileOnce("cannot use the description '%s': its folder is longer than 255 bytes", path);
        return false;
    }
    std::memcpy(object.folder, path, folderLength);
    object.folder[folderLength] = 0;
    if (!parseDescription(data, size, objectKeyword, &object)) {
        platform::reportFileOnce("cannot use the description '%s': an ANIME entry names a slot outside 0 to 29",
                                 path);
        return false;
    }
    return object.loadContent();
}

}  // namespace

bool loadDescriptionMemory(OBJECTBASE& object, const char* path, const uint8_t* data, size_t size) {
    object.resetObject();
    object.hasContent = 1;
    return describe(object, path ? path : "", data, size);
}

bool loadDescription(OBJECTBASE& object, const char* path) {
    object.resetObject();
    object.hasContent = 1;
    std::vector<uint8_t> data;
    if (!path) return false;
    if (!platform::readFile(path, data)) {
        if (!platform::wasRefusedAsSpecialFile()) platform::reportFileOnce("cannot read the description '%s'", path);
        return false;
    }
    return describe(object, path, data.data(), data.size());
}

}  // namespace model
