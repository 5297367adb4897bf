#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"

namespace platform {

namespace {

// Attempts at a lock file that its holder removes between our open and
// our lock; each retry means another copy finished meanwhile.
constexpr int kLockAttempts = 8;

bool isPrivateFolder(const std::string& folder) {
    struct stat st {};
    return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
           (st.st_mode & 077) == 0;
}

}  // namespace

std::string InstanceLock::lockFolder() {
    std::string cache;
    const char* xdgCache = getenv("XDG_CACHE_HOME");
    const char* home = getenv("HOME");
    if (xdgCache && xdgCache[0] == '/') cache = xdgCache;
    else if (home && home[0] == '/') cache = std::string(home) + "/.cache";
    return lockFolder(getenv("XDG_RUNTIME_DIR"), "/tmp", cache);
}

std::string InstanceLock::lockFolder(const char* runtimeDir, const std::string& tempDir,
                                     const std::string& cacheDir) {
    if (runtimeDir && runtimeDir[0] == '/') {
        struct stat st {};
        if (stat(runtimeDir, &st) == 0 && S_ISDIR(st.st_mode)) return runtimeDir;
    }
    const std::string user = std::to_string(unsigned(getuid()));
    std::string folder = tempDir + "/tesserae-" + user;
    mkdir(folder.c_str(), 0700);
    if (isPrivateFolder(folder)) return folder;
    // Anyone may make the shared name first; then a folder of the user's
    // own keeps the game from being locked out by another user.
    if (cacheDir.empty() || cacheDir[0] != '/') return std::string();
    mkdir(cacheDir.c_str(), 0700);
    std::string own = cacheDir + "/tesserae";
    mkdir(own.c_str(), 0700);
    own += "/locks-" + user;
    mkdir(own.c_str(), 0700);
    return isPrivateFolder(own) ? own : std::string();
}

std::string InstanceLock::lockPath(const std::string& gameFolder) {
    char buffer[PATH_MAX];
    std::string resolved = resolveHostPath(gameFolder);
    std::string folder = realpath(resolved.c_str(), buffer) ? buffer : resolved;
    // FNV-1a of the folder name keeps the lock name short and fixed-size.
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : folder) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char name[64];
    snprintf(name, sizeof name, "/tesserae-%u-%016llx.lock", unsigned(getuid()),
             static_cast<unsigned long long>(hash));
    std::string base = lockFolder();
    return base.empty() ? std::string() : base + name;
}

bool InstanceLock::acquire(const std::string& gameFolder) {
    release();
    reason.clear();
    std::string file = lockPath(gameFolder);
    if (file.empty()) {
        reason = "no private folder for the lock file (/tmp/tesserae-" + std::to_string(unsigned(getuid())) +
                 " or ~/.cache/tesserae/locks-" + std::to_string(unsigned(getuid())) +
                 " must be a folder of this user with mode 0700)";
        return false;
    }
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        int handle = open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0600);
        if (handle < 0) {
            reason = "cannot open the lock file " + file + ": " +
                     (errno == ELOOP ? std::string("it is a symbolic link") : std::string(strerror(errno)));
            return false;
        }
        struct stat opened {};
        if (fstat(handle, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_uid != getuid()) {
            ::close(handle);
            reason = "the lock file " + file + " is not a regular file of this user";
            return false;
        }
        // flock locks belong to the open file description, so a second
        // acquire in the same process is refused as well.
        if (flock(handle, LOCK_EX | LOCK_NB) != 0) {
            int error = errno;
            ::close(handle);
            if (error == EWOULDBLOCK) return false;
            reason = "cannot lock " + file + ": " + strerror(error);
            return false;
        }
        // A holder removes its file before unlocking it: a lock on a file
        // no longer at the path locks nothing, so open the path again.
        struct stat named {};
        if (stat(file.c_str(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
            fd = handle;
            path = file;
            return true;
        }
        ::close(handle);
    }
    reason = "the lock file " + file + " keeps being replaced";
    return false;
}

void InstanceLock::release() {
    if (fd >= 0) {
        unlink(path.c_str());
        flock(fd, LOCK_UN);
        ::close(fd);
    }
    fd = -1;
    path.clear();
}

}  // namespace platform
