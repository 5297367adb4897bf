// tools/tessmodel/model_export.h
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tessmodel {

// Writes the model a description names (its parts, materials, textures
// and every animation) as a binary glTF 2.0 file: +Y up, right-handed,
// each part a node posed at rest, each animation's keys at `fps` frames a
// second. False with `error` when the description, model, a mesh or an
// animation cannot be read. `notes` receive what glTF cannot hold.
bool exportModel(const std::string& descriptionPath, int fps, std::vector<uint8_t>& glb, std::string& error,
                 std::vector<std::string>& notes);

}  // namespace tessmodel
