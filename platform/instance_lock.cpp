#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace platform {

std::string InstanceLock::lockPath(const std::string& gameFolder) {
    char buffer[PATH_MAX];
    std::string folder = realpath(gameFolder.c_str(), buffer) ? buffer : gameFolder;
    // FNV-1a of the folder name keeps the lock name short and fixed-size.
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : folder) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    std::string base = runtime && *runtime ? runtime : "/tmp";
    char name[64];
    snprintf(name, sizeof name, "/tesserae-%u-%016llx.lock", unsigned(getuid()),
             static_cast<unsigned long long>(hash));
    return base + name;
}

bool InstanceLock::acquire(const std::string& gameFolder) {
    release();
    std::string path = lockPath(gameFolder);
    int handle = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (handle < 0) return false;
    // flock locks belong to the open file description, so a second
    // acquire in the same process is refused as well.
    if (flock(handle, LOCK_EX | LOCK_NB) != 0) {
        ::close(handle);
        return false;
    }
    fd = handle;
    return true;
}

void InstanceLock::release() {
    if (fd >= 0) {
        flock(fd, LOCK_UN);
        ::close(fd);
    }
    fd = -1;
}

}  // namespace platform
