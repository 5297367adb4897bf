// platform/forced_end.h
#pragma once

namespace platform {

// Files that a forced end of the program (the watchdog's _exit, which
// runs no destructor) must not leave half-done: a temporary file written
// beside a save is removed, and a capture file gets a WAV header that
// matches the samples it holds. Registration uses fixed tables and never
// allocates; the forced end itself uses plain system calls only, since
// the main thread may hold any lock at that moment. Safe from any thread.
constexpr int kForcedEndFiles = 16;

// Remembers a temporary file to remove. The slot, or -1 when the table is
// full or the path longer than the table holds (the file is then left).
int holdTemporaryFile(const char* path);
void dropTemporaryFile(int slot);

// Remembers an open WAV file written with the 44-byte PCM header: at a
// forced end its RIFF and data sizes are set from the bytes on disk,
// rounded down to whole sample frames of `blockAlign` bytes.
int holdWaveFile(int fd, int blockAlign);
void dropWaveFile(int slot);

// Called right before a forced _exit.
void finishFilesForForcedEnd();

}  // namespace platform
