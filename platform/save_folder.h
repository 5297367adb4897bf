// platform/save_folder.h
#pragma once
#include <string>

namespace platform {

// A game writes its data files, log and reports into its own folder. A
// game installed where the user cannot write keeps them in a folder of the
// user's instead: the save folder.
//
// While a save folder is set, a relative game path (the game folder is
// the current directory) that the program opens to write (openGameFile
// with "w", "a" or "+", replaceFile) or removes lands in the save folder,
// and reads (openGameFile to read, readFile, fileExists) take the save
// folder's copy first and the game folder's otherwise, so the game reads
// back what it wrote. A file opened to append or update that only the
// game folder holds is copied over first. Folders the game folder has are
// made in the save folder as a write needs them; a folder it does not
// have is not, so a write that would fail in the game folder fails here
// too. Absolute paths and paths that climb out with ".." are never
// redirected.

// Turns the redirection on (a folder that exists; relative names follow
// the current directory) or, with an empty name, off.
void setSaveFolder(const std::string& folder);

// The save folder with a trailing '/', or empty while writes go to the
// game folder.
std::string saveFolder();

// Where the game's written files go: the save folder, else the current
// directory. With a trailing '/'.
std::string writeFolder();

// The folder to switch to when a write into the game folder is refused
// for lack of permission (a folder that looked writable and is not, a
// read-only sub-folder): from that write on, the save folder is this one,
// made when needed, and stderr says so once. Empty: no switch.
void setFallbackSaveFolder(const std::string& folder);

// The user's folder for the files of the game named `gameName`:
// $XDG_DATA_HOME/tesserae/<gameName>/, with ~/.local/share standing in
// when XDG_DATA_HOME is unset or not an absolute path. Empty when no home
// folder is known. The folder is not created.
std::string userSaveFolder(const std::string& gameName);

// True when a file can be created in `folder`, found by creating and
// removing one, so the answer is what a write will meet (a user who may
// ignore permissions, a read-only mount).
bool canCreateFilesIn(const std::string& folder);

// Creates the folder and its missing parents; true when it exists as a
// folder afterwards.
bool makeDirectories(const std::string& path);

}  // namespace platform
