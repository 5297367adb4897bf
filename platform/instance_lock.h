// platform/instance_lock.h
#pragma once
#include <string>

namespace platform {

// Keeps a second copy of a game from running. The lock is keyed by the
// game folder's real path, after the game path resolution (so any letter
// case that reaches the folder names the same lock), and held through an
// advisory file lock, which the operating system drops when the holder
// exits or dies, so a crash never leaves a stale lock behind.
//
// Lock files live in a private folder: $XDG_RUNTIME_DIR when it names a
// folder, else /tmp/tesserae-UID, made with mode 0700 and used only when
// it is a real folder of this user that nobody else may enter. When that
// name is taken by someone else (anyone may create it first), the folder
// is $XDG_CACHE_HOME/tesserae/locks-UID (default ~/.cache). A lock file
// is opened without following symbolic links, must be a regular file of
// this user, and is removed when its holder releases it.
class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock() { release(); }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this object now holds the lock for the folder. False when
    // another holder (this process or another) has it, or when the lock
    // cannot be taken at all; failureReason() tells the two apart.
    bool acquire(const std::string& gameFolder);
    void release();
    bool isHeld() const { return fd >= 0; }

    // After a failed acquire: empty when another holder has the lock,
    // otherwise why no lock could be taken (one line, naming the path).
    const std::string& failureReason() const { return reason; }

    // The lock file used for a folder (exposed for tests and messages).
    static std::string lockPath(const std::string& gameFolder);
    // The folder of the lock files; empty when no private folder is usable.
    static std::string lockFolder();
    // The same choice from the runtime folder (may be null), the shared
    // temporary folder and the user's cache folder (exposed for tests).
    static std::string lockFolder(const char* runtimeDir, const std::string& tempDir, const std::string& cacheDir);

private:
    int fd = -1;
    std::string path;
    std::string reason;
};

}  // namespace platform
