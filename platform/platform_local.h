// platform/platform_local.h: shared between the files of platform/ only.
#pragma once
#include <string>

namespace platform {

// The save folder's copy of a relative game path, resolved within the save
// folder (it may not exist). False when no save folder is set or the path
// is not redirected.
bool savedCopyPath(const std::string& windowsPath, std::string& out);

// Readies a write of a redirected path: makes the folders of the game
// folder it needs in the save folder and, with `keepContents`, copies the
// game folder's file when the save folder has none. `out` is the path to
// write. False when the path is not redirected.
bool prepareSavedWrite(const std::string& windowsPath, bool keepContents, std::string& out);

// After a write into the game folder failed with `error` (an errno): true
// when the failure is a refused permission and the save folder has just
// been switched to the fallback folder, so the write should be retried.
bool switchToFallbackAfter(int error);

bool isRelativeGamePath(const std::string& windowsPath);

// A game path with its backslashes made slashes, leaving the second byte
// of a code page 932 character alone.
std::string slashedGamePath(const std::string& windowsPath);

}  // namespace platform
