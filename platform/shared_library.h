// platform/shared_library.h
#pragma once
#include <string>

namespace platform {

// A loaded shared object and the C functions it exports. Closing (or
// destroying) it unloads the library; pointers taken from it die then.
class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary() { close(); }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // False when the file is missing or not a loadable library; the reason
    // is then in error().
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return handle != nullptr; }

    // Address of an exported C function, or null.
    void* symbol(const char* name) const;

    const std::string& error() const { return lastError; }

private:
    void* handle = nullptr;
    std::string lastError;
};

}  // namespace platform
