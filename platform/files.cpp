#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/file_report.h"
#include "platform/forced_end.h"
#include "platform/platform_local.h"
#include "platform/text_codec.h"

namespace platform {

namespace {

bool replaceResolved(std::string target, const void* data, size_t size, int* error);

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// A folder component must name a folder: a game may hold a file "data" and
// a folder "Data" side by side, and "data\x" means the folder.
bool existsAs(const std::string& path, bool folder) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    return !folder || S_ISDIR(st.st_mode);
}

bool equalsIgnoringCase(const char* a, const std::string& b) {
    size_t i = 0;
    for (; a[i] && i < b.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = x - 'A' + 'a';
        if (y >= 'A' && y <= 'Z') y = y - 'A' + 'a';
        if (x != y) return false;
    }
    return a[i] == '\0' && i == b.size();
}

// The entry of `folder` matching `name` without regard to case (ASCII
// letters). Several entries differing only in case (possible on this
// system, never on the game's) resolve to the first in sorted order, so the
// choice does not depend on directory order. False when nothing matches.
bool matchComponent(const std::string& folder, const std::string& name, bool wantFolder, std::string& found) {
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return false;
    std::string best;
    while (dirent* entry = readdir(dir)) {
        if (equalsIgnoringCase(entry->d_name, name) && (!wantFolder || existsAs(folder + entry->d_name, true))) {
            if (best.empty() || strcmp(entry->d_name, best.c_str()) < 0) best = entry->d_name;
        }
    }
    closedir(dir);
    if (best.empty()) return false;
    found = best;
    return true;
}

bool isAscii(const std::string& text) {
    for (unsigned char c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

// The names a component may have on disk, in the order tried: as written,
// then in the other encoding. Scripts and the game's own files name files
// in code page 932, while archive tools and file managers here store those
// names in UTF-8; a script written in UTF-8 may name a file stored as
// code page 932. A form that does not convert cleanly is not tried.
int nameForms(const std::string& name, std::string (&forms)[3]) {
    forms[0] = name;
    if (isAscii(name)) return 1;
    int count = 1;
    std::string utf8 = cp932ToUtf8(name);
    if (utf8 != name && utf8.find("\xEF\xBF\xBD") == std::string::npos) forms[count++] = utf8;
    if (isUtf8(name)) {
        std::string cp932 = utf8ToCp932(name);
        if (cp932 != name && cp932.find('?') == std::string::npos) forms[count++] = cp932;
    }
    return count;
}

// Backslashes become slashes, except where a backslash byte is the second
// byte of a code page 932 character (as in "表" or "ソ").
std::string slashPath(const std::string& windowsPath) {
    std::string path = windowsPath;
    const bool utf8 = isUtf8(path);
    for (size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (!utf8 && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC))) {
            ++i;
        } else if (c == '\\') {
            path[i] = '/';
        }
    }
    return path;
}

// Walks `path` below `base` (a folder taken as it is, ending in '/', or
// empty for the current folder), matching each component that does not
// exist as written in another letter case and, for game paths, in the
// other encoding. The prefix resolved so far is a real folder as long as
// each component matched; the rest keeps the names given.
std::string walkPath(const std::string& base, const std::string& path, bool gameRules) {
    if (path.empty() || exists(base + path)) return base + path;
    std::string resolved = base;
    size_t pos = 0;
    if (path[0] == '/') {
        resolved.push_back('/');
        pos = 1;
    }
    bool matching = true;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos) slash = path.size();
        std::string component = path.substr(pos, slash - pos);
        if (component.empty() || component == "." || component == "..") {
            if (!component.empty()) resolved += component;
        } else {
            const bool wantFolder = slash < path.size();
            if (matching && !existsAs(resolved + component, wantFolder)) {
                std::string forms[3];
                const int count = gameRules ? nameForms(component, forms) : (forms[0] = component, 1);
                bool found = false;
                for (int k = 1; k < count && !found; ++k) {
                    if (existsAs(resolved + forms[k], wantFolder)) {
                        component = forms[k];
                        found = true;
                    }
                }
                for (int k = 0; k < count && !found; ++k)
                    found = matchComponent(resolved, forms[k], wantFolder, component);
                matching = found;
            }
            resolved += component;
        }
        if (slash < path.size()) resolved += '/';
        pos = slash + 1;
    }
    return resolved;
}

const char* fileKind(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// A game file is read only when it is a regular file, after links: a
// device such as /dev/zero would be read until memory runs out, and a
// FIFO would hold the game in its callback for ever. The open does not
// block on a FIFO; anything else is refused with one line on stderr.
thread_local bool refusedAsSpecial = false;

FILE* openRegularToRead(const std::string& path, const std::string& windowsPath, const char* mode) {
    refusedAsSpecial = false;
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        // A folder fails as a missing file does; the readers say so.
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return nullptr;
        }
        std::string problem = std::string("cannot read '%s': it is ") + fileKind(st.st_mode) +
                              ", not a regular file";
        reportFileOnce(problem.c_str(), windowsPath);
        refusedAsSpecial = true;
        errno = EINVAL;
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* file = fdopen(fd, mode);
    if (!file) close(fd);
    return file;
}

}  // namespace

std::string executableDir() {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return currentDir();
    std::string path(buffer, size_t(length));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? currentDir() : path.substr(0, slash + 1);
}

std::string currentDir() {
    char buffer[PATH_MAX];
    if (!getcwd(buffer, sizeof buffer)) return "./";
    std::string path(buffer);
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

bool setCurrentDir(const std::string& path) { return chdir(resolveHostPath(path).c_str()) == 0; }

std::string resolveGamePath(const std::string& windowsPath) {
    return walkPath("", slashPath(windowsPath), true);
}

std::string resolveGamePathIn(const std::string& folder, const std::string& windowsPath) {
    return walkPath(folder, slashPath(windowsPath), true);
}

std::string resolveHostPath(const std::string& path) { return walkPath("", path, false); }

std::string slashedGamePath(const std::string& windowsPath) { return slashPath(windowsPath); }

FILE* openGameFile(const std::string& windowsPath, const char* mode) {
    std::string saved;
    if (strpbrk(mode, "wa+")) {
        if (prepareSavedWrite(windowsPath, !strchr(mode, 'w'), saved)) return fopen(saved.c_str(), mode);
        FILE* file = fopen(resolveGamePath(windowsPath).c_str(), mode);
        if (!file && isRelativeGamePath(windowsPath) && switchToFallbackAfter(errno))
            return openGameFile(windowsPath, mode);
        return file;
    }
    if (savedCopyPath(windowsPath, saved) && isRegularFile(saved)) return openRegularToRead(saved, windowsPath, mode);
    return openRegularToRead(resolveGamePath(windowsPath), windowsPath, mode);
}

bool wasRefusedAsSpecialFile() { return refusedAsSpecial; }

bool fileExists(const std::string& windowsPath) {
    std::string saved;
    if (savedCopyPath(windowsPath, saved) && isRegularFile(saved)) return true;
    return isRegularFile(resolveGamePath(windowsPath));
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return stat(resolveHostPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

bool readWhole(FILE* file, std::vector<uint8_t>& data) {
    if (!file) return false;
    bool ok = true;
    // One allocation of the size the file has now (a 6 MB SoundFont or
    // font is read at start-up); a file that grows meanwhile is read on.
    struct stat st {};
    size_t expected = fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) ? size_t(st.st_size) : 0;
    data.resize(expected);
    size_t filled = expected ? fread(data.data(), 1, expected, file) : 0;
    data.resize(filled);
    uint8_t buffer[65536];
    if (filled == expected) {
        while (size_t count = fread(buffer, 1, sizeof buffer, file)) data.insert(data.end(), buffer, buffer + count);
    }
    if (ferror(file)) ok = false;
    fclose(file);
    if (!ok) data.clear();
    return ok;
}

}  // namespace

bool readFile(const std::string& windowsPath, std::vector<uint8_t>& data) {
    data.clear();
    return readWhole(openGameFile(windowsPath, "rb"), data);
}

bool readHostFile(const std::string& path, std::vector<uint8_t>& data) {
    data.clear();
    return readWhole(fopen(path.c_str(), "rb"), data);
}

bool replaceFile(const std::string& windowsPath, const void* data, size_t size) {
    std::string saved;
    if (prepareSavedWrite(windowsPath, false, saved)) return replaceResolved(saved, data, size, nullptr);
    int error = 0;
    if (replaceResolved(resolveGamePath(windowsPath), data, size, &error)) return true;
    if (isRelativeGamePath(windowsPath) && switchToFallbackAfter(error)) return replaceFile(windowsPath, data, size);
    return false;
}

bool replaceHostFile(const std::string& path, const void* data, size_t size) {
    return replaceResolved(resolveGamePath(path), data, size, nullptr);
}

bool removeFile(const std::string& windowsPath) {
    std::string saved;
    if (savedCopyPath(windowsPath, saved)) return unlink(saved.c_str()) == 0;
    return unlink(resolveGamePath(windowsPath).c_str()) == 0;
}

namespace {

// `error`, when given, receives the errno of a temporary file that cannot
// be created: the folder's refusal.
bool replaceResolved(std::string target, const void* data, size_t size, int* error) {
    // Only a regular file is replaced: a device, a FIFO or a folder keeps
    // its place. A symbolic link stays a link, and the regular file it
    // names is replaced instead; a dangling link is refused.
    struct stat st {};
    bool existed = lstat(target.c_str(), &st) == 0;
    if (existed && S_ISLNK(st.st_mode)) {
        char real[PATH_MAX];
        if (!realpath(target.c_str(), real) || stat(real, &st) != 0) return false;
        target = real;
    }
    if (existed && !S_ISREG(st.st_mode)) return false;
    std::string temporary = target + ".tmp-XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) {
        if (error) *error = errno;
        return false;
    }
    const int forcedEndSlot = holdTemporaryFile(temporary.c_str());
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    size_t written = 0;
    bool ok = true;
    while (written < size) {
        ssize_t n = write(fd, bytes + written, size - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        written += size_t(n);
    }
    if (ok && fsync(fd) != 0) ok = false;
    // mkstemp makes the file 0600; a replaced file keeps its permissions,
    // a new one gets the usual ones.
    if (ok) {
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, existed ? st.st_mode & 07777 : 0666 & ~mask);
    }
    if (close(fd) != 0) ok = false;
    if (ok && rename(temporary.c_str(), target.c_str()) != 0) ok = false;
    if (!ok) unlink(temporary.c_str());
    dropTemporaryFile(forcedEndSlot);
    return ok;
}

}  // namespace

bool makeDirectory(const std::string& path) {
    std::string resolved = resolveGamePath(path);
    return mkdir(resolved.c_str(), 0777) == 0 || isDirectory(resolved);
}

}  // namespace platform
