// tools/tessmodel/model_view.h
#pragma once
#include <string>

namespace tessmodel {

// Makes a small game in `gameFolder` that shows the model a description
// names: the description's folder copied into "model/", and a script
// that turns the model under the host's light, plays animation
// `animeSlot` and switches animations with the left and right keys
// (button 0 pauses). The camera frames the model's rest size. False with
// `error` when the description cannot be loaded or a file copied.
bool writeViewGame(const std::string& descriptionPath, int animeSlot, const std::string& gameFolder,
                   std::string& error);

}  // namespace tessmodel
