// model/objects.h
#pragma once
#include <cstddef>
#include <cstdint>

#include "model/collision_shape.h"
#include "model/model_data.h"

namespace model {

constexpr int kDescriptionValues = 5;
constexpr int kValueLength = 128;  // 127 characters and the NUL
constexpr int kObjectNameLength = 256;

// One description entry's values: up to five kept, `count` as written.
struct KeywordValues {
    char text[kDescriptionValues][kValueLength] = {};
    int count = 0;
};

// Result of handleKeyword: unknown keys are skipped, a failure stops the
// description load.
constexpr int kKeywordFailed = -1;
constexpr int kKeywordUnknown = 0;
constexpr int kKeywordHandled = 1;

// A model with a scale and a placement. Position and rotation (degrees)
// are written by the scene before each draw.
class OBJECTBASE {
public:
    OBJECTBASE();
    // Each class's destructor unloads with its own operations (an unload
    // from a base destructor never reaches the derived class's). Virtual,
    // so deleting through a base pointer runs them all.
    virtual ~OBJECTBASE();
    OBJECTBASE(const OBJECTBASE&) = delete;
    OBJECTBASE& operator=(const OBJECTBASE&) = delete;

    // Loads the model named by the description (a model file, or a mesh
    // file wrapped in the dummy model), then sets the scale. True or false.
    virtual bool loadContent();
    virtual void unloadContent();
    virtual int handleKeyword(const char* key, const KeywordValues& values);
    virtual void setScale(float value);
    virtual float getScale() const { return scale; }

    // Placement and scale to their defaults; unloads when loaded.
    void resetObject();
    // What the scene calls to give a model slot back.
    void release() { resetObject(); }

    bool hasModel() const { return hasContent != 0; }

    uint8_t hasContent = 0;
    uint8_t isMeshModel = 0;
    MODEL_DATA model;
    char modelName[kObjectNameLength] = {};
    char folder[kObjectNameLength] = {};  // description folder, ends in a backslash or is empty
    float scale = 1.0f;
    render::Vec3 position;
    render::Vec3 rotation;
};

// Adds the collision shape of a "BOX" entry.
class OBJECT : public OBJECTBASE {
public:
    OBJECT();
    ~OBJECT() override;

    bool loadContent() override;  // the model's result is ignored: true
    void unloadContent() override;
    int handleKeyword(const char* key, const KeywordValues& values) override;
    void setScale(float value) override;  // also (re)builds the collision shape

    COLLISION_SHAPE collisionShape;
    char collisionFile[kObjectNameLength] = {};
    render::Vec3 collisionOffset;
};

// Adds up to 30 key-frame animations of "ANIME" entries. An object is
// about 2.6 MB: keep it in a table or on the heap, not on the stack.
class CHARA : public OBJECT {
public:
    CHARA();
    ~CHARA() override;

    // The model (its result ignored), then every named animation; false
    // only when an animation file fails.
    bool loadContent() override;
    void unloadContent() override;
    // An ANIME slot outside 0..29 fails the load.
    int handleKeyword(const char* key, const KeywordValues& values) override;

    // Advances animeFrame by `deltaFrames` (wrapping once past the
    // animation's length) and poses every enabled part at the whole frame.
    // An animeIndex outside 0..29 poses nothing.
    void applyAnimation(float deltaFrames);

    // Length of animation `slot` in frames; 0 outside 0..29.
    int animeFrameCount(int slot) const;

    ANIME_DATA animations[kAnimations];
    char animeFiles[kAnimations][kObjectNameLength] = {};
    int32_t animeIndex = 0;
    float animeFrame = 0.0f;
};

// Poses `part` at whole frame `frame` from the track's keys.
void posePart(MODEL_PART& part, const ANIME_TRACK& track, int frame);

// Reads a description file (path exactly as given) into the object: reset,
// parse every "KEY:[v1,v2,...]" entry through handleKeyword, then
// loadContent. False when the file cannot be read, a keyword fails or the
// load fails; the object then keeps what it loaded (hasContent stays 1).
bool loadDescription(OBJECTBASE& object, const char* path);
bool loadDescriptionMemory(OBJECTBASE& object, const char* path, const uint8_t* data, size_t size);

// Splits the description text into entries and hands each to `handle`;
// false as soon as one returns kKeywordFailed. Exposed for tests.
using KeywordHandler = int (*)(void* context, const char* key, const KeywordValues& values);
bool parseDescription(const uint8_t* data, size_t size, KeywordHandler handle, void* context);

}  // namespace model
