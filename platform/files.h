// platform/files.h
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// Folder of the running executable, with a trailing '/'.
std::string executableDir();

std::string currentDir();              // with a trailing '/'
bool setCurrentDir(const std::string& path);  // a host path (resolveHostPath)

// Game folders come from Windows: scripts name files with backslashes and
// in any letter case ("script\init.nut", "System\Board\board.cha").
// Backslashes become slashes; when the exact path does not exist, each
// component is matched case-insensitively (ASCII letters) against the
// folder's entries, an exact match always winning. Components that match
// nothing keep the name given, so a file the game creates is created
// under the name it asked for. Relative paths resolve against the
// current directory.
// A component that matches nothing as written is also looked for in its
// other encoding: a code page 932 name as UTF-8 (as archive tools and file
// managers here store it) and a UTF-8 name as code page 932, each in any
// letter case. A backslash byte that is the second byte of a code page 932
// character stays.
std::string resolveGamePath(const std::string& windowsPath);

// The same for a game path inside `folder`, a host folder ending in '/'
// that is taken as it is (a save folder may hold a backslash).
std::string resolveGamePathIn(const std::string& folder, const std::string& windowsPath);

// A path of the user's (the command line: GAME_DIR, --save-dir): matched
// in any letter case, but a backslash is a character of the name.
std::string resolveHostPath(const std::string& path);

// fopen on the resolved path (or the save folder's, platform/save_folder.h).
// Null when the file cannot be opened. To read, only a regular file (after
// symbolic links) opens: a device, FIFO or socket is refused with one
// line on stderr naming the file and its kind (a folder fails silently,
// as a missing file does), and the open never blocks.
FILE* openGameFile(const std::string& windowsPath, const char* mode);

// True when the last game file this thread tried to open to read was
// refused for not being a regular file (already said on stderr), so a
// reader need not add a line of its own.
bool wasRefusedAsSpecialFile();

bool fileExists(const std::string& windowsPath);
bool isDirectory(const std::string& path);  // a host path

// Whole game file into memory (a regular file only, as openGameFile).
// False (and data emptied) when it cannot be read.
bool readFile(const std::string& windowsPath, std::vector<uint8_t>& data);

// A file the user named on the command line, read as named (no game-path
// rules, no save folder); a pipe such as "<(...)" works.
bool readHostFile(const std::string& path, std::vector<uint8_t>& data);

// Writes the bytes to a temporary file beside the target, flushes it and
// renames it over the target, so a failed write leaves the old file whole.
// False when any step fails; the temporary file is then removed. Only a
// regular file is replaced, keeping its permissions: a target that exists
// as anything else (folder, device, FIFO, dangling link) is refused, and
// a symbolic link to a regular file stays, the file it names replaced.
bool replaceFile(const std::string& windowsPath, const void* data, size_t size);

// replaceFile for a file of the user's (a screenshot the command line
// names): never redirected to the save folder.
bool replaceHostFile(const std::string& path, const void* data, size_t size);

// Removes a file; false when it did not exist or could not be removed.
bool removeFile(const std::string& windowsPath);

// Creates one folder (its parent must exist); true when it exists afterwards.
bool makeDirectory(const std::string& path);

}  // namespace platform
