// sound/midi_file.h
#pragma once
#include <cstddef>
#include <cstdint>

namespace sound {

// Music time counts 768 ticks per quarter note, whatever a file's own
// division is.
constexpr int kMusicTicksPerQuarter = 768;

struct MidiFileInfo {
    int format = 0;       // 0 or 1
    int tracks = 0;
    int division = 0;     // ticks per quarter note
    int64_t lengthTicks = 0;  // end of the longest track, in the file's ticks
};

// Checks a Standard MIDI File of format 0 or 1 with a ticks-per-quarter
// division from end to end: the header, every announced track chunk
// (other chunks are skipped), and every event within its chunk. False for
// anything else, so the synthesiser only ever sees well-formed files.
bool readMidiInfo(const uint8_t* bytes, size_t size, MidiFileInfo& info);

// File ticks of a music-time position, rounded down.
int64_t musicToFileTicks(int64_t musicTime, int division);

}  // namespace sound
