// script/script_subsystems.h
#pragma once

namespace graphics {
class Camera;
class ScriptTextures;
class TextureStore;
}  // namespace graphics

namespace sound {
class SoundFunctions;
}  // namespace sound

namespace scene {
class Field;
class SceneStore;
}  // namespace scene

namespace script {

// The subsystems the script functions drive, handed to the script host by
// whoever owns them. A null member is an absent subsystem: its functions
// answer as they do without it (loaders false or -1, getters their last
// value, drawing nothing).
struct ScriptSubsystems {
    sound::SoundFunctions* sound = nullptr;
    // The scripts' texture table and the store it loads into; both or none.
    graphics::ScriptTextures* textures = nullptr;
    graphics::TextureStore* textureStore = nullptr;
    // Null: the host's own camera takes the scripts' eye and target.
    graphics::Camera* camera = nullptr;
    // The objects and boards of PorigonManager and BoardManager.
    scene::SceneStore* scene = nullptr;
    // The terrain of loadField, drawField and checkField.
    scene::Field* field = nullptr;
};

}  // namespace script
