#include "platform/save_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "platform/platform_local.h"

namespace platform {

namespace {

// Set at start-up and at most once more by the fallback; read by every
// file open, from any thread (the log, the sound reports).
std::mutex stateLock;
std::string saveRoot;      // with a trailing '/', or empty
std::string fallbackRoot;  // with a trailing '/', or empty

std::string withSlash(std::string path) {
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A ".." component could leave the save folder for the user's other files.
bool climbsOut(const std::string& path) {
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos) slash = path.size();
        if (path.compare(pos, slash - pos, "..") == 0 && slash - pos == 2) return true;
        pos = slash + 1;
    }
    return false;
}

std::string currentSaveRoot() {
    std::lock_guard guard(stateLock);
    return saveRoot;
}

// The relative path in slash form when `windowsPath` is redirected.
bool redirected(const std::string& windowsPath, std::string& root, std::string& relative) {
    if (!isRelativeGamePath(windowsPath)) return false;
    root = currentSaveRoot();
    if (root.empty()) return false;
    relative = slashedGamePath(windowsPath);
    return !climbsOut(relative);
}

bool copyFile(const std::string& from, const std::string& to) {
    std::vector<uint8_t> bytes;
    if (!readFile(from, bytes)) return false;
    FILE* file = fopen(to.c_str(), "wb");
    if (!file) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (fclose(file) != 0) ok = false;
    return ok;
}

}  // namespace

bool isRelativeGamePath(const std::string& windowsPath) {
    return !windowsPath.empty() && windowsPath[0] != '/' && windowsPath[0] != '\\';
}

void setSaveFolder(const std::string& folder) {
    std::string root;
    if (!folder.empty()) root = withSlash(folder[0] == '/' ? folder : currentDir() + folder);
    std::lock_guard guard(stateLock);
    saveRoot = root;
}

std::string saveFolder() { return currentSaveRoot(); }

std::string writeFolder() {
    std::string root = currentSaveRoot();
    return root.empty() ? currentDir() : root;
}

void setFallbackSaveFolder(const std::string& folder) {
    std::lock_guard guard(stateLock);
    fallbackRoot = withSlash(folder);
}

std::string userSaveFolder(const std::string& gameName) {
    std::string base;
    const char* dataHome = getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/') {
        base = dataHome;
    } else {
        const char* home = getenv("HOME");
        if (!home || home[0] != '/') {
            const passwd* entry = getpwuid(getuid());
            home = entry ? entry->pw_dir : nullptr;
        }
        if (!home || home[0] != '/') return {};
        base = withSlash(home) + ".local/share";
    }
    std::string name = gameName;
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    if (name.empty() || name == "." || name == "..") name = "game";
    return withSlash(base) + "tesserae/" + name + "/";
}

bool canCreateFilesIn(const std::string& folder) {
    std::string dir = withSlash(folder.empty() ? "." : folder);
    if (access(dir.c_str(), W_OK | X_OK) != 0) return false;
    std::string probe = dir + ".tesserae-probe-XXXXXX";
    int fd = mkstemp(probe.data());
    if (fd < 0) return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

bool makeDirectories(const std::string& path) {
    if (path.empty()) return false;
    std::string partial;
    size_t pos = 0;
    while (pos < path.size()) {
        size_t slash = path.find('/', pos + 1);
        if (slash == std::string::npos) slash = path.size();
        partial = path.substr(0, slash);
        if (!partial.empty() && partial != "/" && mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
        pos = slash;
    }
    return isFolder(path);
}

bool savedCopyPath(const std::string& windowsPath, std::string& out) {
    std::string root, relative;
    if (!redirected(windowsPath, root, relative)) return false;
    out = resolveGamePathIn(root, relative);
    return true;
}

bool prepareSavedWrite(const std::string& windowsPath, bool keepContents, std::string& out) {
    std::string root, relative;
    if (!redirected(windowsPath, root, relative)) return false;
    // Each folder on the way: the save folder's when it has one (any
    // letter case), else made after the game folder's, named as there.
    size_t slash = relative.find('/');
    while (slash != std::string::npos) {
        std::string prefix = relative.substr(0, slash);
        std::string saved = resolveGamePathIn(root, prefix);
        if (!isFolder(saved)) {
            std::string game = resolveGamePath(prefix);
            if (!isFolder(game)) break;
            size_t cut = saved.rfind('/');
            size_t gameCut = game.rfind('/');
            std::string made = saved.substr(0, cut + 1) + game.substr(gameCut == std::string::npos ? 0 : gameCut + 1);
            if (mkdir(made.c_str(), 0777) != 0 && errno != EEXIST) break;
        }
        slash = relative.find('/', slash + 1);
    }
    out = resolveGamePathIn(root, relative);
    if (keepContents && !isRegularFile(out)) {
        std::string game = resolveGamePath(relative);
        if (isRegularFile(game)) copyFile(game, out);
    }
    return true;
}

bool switchToFallbackAfter(int error) {
    if (error != EACCES && error != EPERM && error != EROFS) return false;
    std::string folder;
    {
        std::lock_guard guard(stateLock);
        if (!saveRoot.empty() || fallbackRoot.empty()) return false;
        folder = fallbackRoot;
    }
    if (!makeDirectories(folder)) return false;
    {
        std::lock_guard guard(stateLock);
        if (!saveRoot.empty()) return true;  // another thread switched first
        saveRoot = folder;
    }
    fprintf(stderr, "tesserae: the game folder refuses a write; the game's files go to '%s' from now on\n",
            folder.c_str());
    return true;
}

}  // namespace platform
