// The host's own system assets, used where the game folder has none.
#include "model/system_assets.h"

#include "platform/files.h"

namespace model {

namespace {

std::string rootOverride;

// Game paths are read with backslashes; a host path in that form keeps
// working when a folder is cut from it at its last backslash.
std::string backslashed(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

}  // namespace

std::string hostAssetRoot() { return rootOverride.empty() ? platform::executableDir() : rootOverride; }

void setHostAssetRoot(const std::string& folder) {
    rootOverride = folder;
    if (!rootOverride.empty() && rootOverride.back() != '/') rootOverride += '/';
}

std::string systemAssetPath(const char* gamePath) {
    if (!gamePath) return {};
    if (platform::fileExists(gamePath)) return gamePath;
    std::string host = backslashed(hostAssetRoot()) + gamePath;
    return platform::fileExists(host) ? host : gamePath;
}

std::string systemAssetFolder(const char* gameFolder, const char* fileName) {
    std::string game = std::string(gameFolder) + fileName;
    if (platform::fileExists(game)) return gameFolder;
    std::string host = backslashed(hostAssetRoot()) + gameFolder;
    return platform::fileExists(host + fileName) ? host : gameFolder;
}

}  // namespace model
