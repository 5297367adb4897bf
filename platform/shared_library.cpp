#include "platform/shared_library.h"

#include <dlfcn.h>

#include "platform/files.h"

namespace platform {

bool SharedLibrary::open(const std::string& path) {
    close();
    std::string resolved = resolveGamePath(path);
    // dlopen searches the library path for names without a slash; a game's
    // plug-in is always a file in its folder.
    if (resolved.find('/') == std::string::npos) resolved = "./" + resolved;
    handle = dlopen(resolved.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* message = dlerror();
        lastError = message ? message : "cannot load " + resolved;
        return false;
    }
    lastError.clear();
    return true;
}

void SharedLibrary::close() {
    if (handle) dlclose(handle);
    handle = nullptr;
}

void* SharedLibrary::symbol(const char* name) const {
    if (!handle) return nullptr;
    return dlsym(handle, name);
}

}  // namespace platform
