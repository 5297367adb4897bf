// A test game copied into a fresh temporary folder, so a run may write into
// it (saves, logs, generated assets) without touching the source tree.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace test_support {

// The copy's folder with a trailing slash; empty when no folder could be
// made. `games` is the folder holding the test games.
inline std::string copyTestGame(const std::string& games, const char* name) {
    char pattern[] = "/tmp/tesserae-game-XXXXXX";
    if (!mkdtemp(pattern)) return {};
    const std::string folder = std::string(pattern) + "/";
    std::filesystem::copy(games + "/" + name, folder, std::filesystem::copy_options::recursive);
    return folder;
}

}  // namespace test_support
