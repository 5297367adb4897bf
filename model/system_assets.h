// model/system_assets.h
#pragma once
#include <string>

namespace model {

// The files the host loads from the game's "system" folder: the billboard
// description "system\board\board.cha", the dummy model
// "system\dummy\dummy.mdl" that carries a lone mesh, and the light ramp
// "system\texure\fill.bmp". Games made for the old host carry them; for
// games that do not, the host has its own copies in a "system" folder
// beside the executable.

// The game path itself while the game folder has that file (any letter
// case); otherwise the host's copy as an absolute path in backslash form,
// so that folders taken from it work like game folders; the game path
// again when the host has no copy either.
std::string systemAssetPath(const char* gamePath);

// The folder (ending in a backslash) from which `fileName` of the game
// folder `gameFolder` ("system\dummy\") is read, by the same rule.
std::string systemAssetFolder(const char* gameFolder, const char* fileName);

// Folder holding the host's "system" folder, with a trailing slash: the
// executable's folder unless set (tests, tools); an empty text restores it.
std::string hostAssetRoot();
void setHostAssetRoot(const std::string& folder);

}  // namespace model
