// platform/instance_lock.h
#pragma once
#include <string>

namespace platform {

// Keeps a second copy of a game from running. The lock is keyed by the
// game folder's real path and held through an advisory file lock, which
// the operating system drops when the holder exits or dies, so a crash
// never leaves a stale lock behind.
class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock() { release(); }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this object now holds the lock for the folder; false when
    // another holder (this process or another) has it, or the lock file
    // cannot be made.
    bool acquire(const std::string& gameFolder);
    void release();
    bool isHeld() const { return fd >= 0; }

    // The lock file used for a folder (exposed for tests and messages).
    static std::string lockPath(const std::string& gameFolder);

private:
    int fd = -1;
};

}  // namespace platform
