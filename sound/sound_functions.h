// sound/sound_functions.h
#pragma once
#include <string>

#include "sound/wave_player.h"

namespace sound {

class MidiPlayer;

// What the script functions of sound do, with their guards; the binding
// only converts arguments. Owns the wave table (file names shared by data
// slots with reference counts, and the data slot of each handle) and the
// name of the MIDI file loaded last. Either player may be null (it was
// not made): the functions then do nothing and the loaders fail.
// Main thread only.
class SoundFunctions {
public:
    SoundFunctions(WavePlayer* wavePlayer, MidiPlayer* midiPlayer);

    // A new handle (0-29) playing `file` from the wave folder; a file
    // already loaded shares its data slot. -1 when the file is missing or
    // unusable, when 30 files or 30 handles are in use, or when the
    // player refuses.
    int loadWave(const char* file);
    // Handles outside 0-29 are ignored by these three.
    void unloadWave(int handle);
    void playWave(int handle);
    void stopWave(int handle);  // also ignored while sound is not initialised

    // True when loaded; remembers the name for playMidi, or forgets it.
    bool loadMidi(const char* file);
    void unloadMidi();
    // Plays the remembered file from `start`, in music time (768 ticks per
    // quarter note), looping from there to the end.
    void playMidi(int start);
    void stopMidi();
    // Fades out over `milliseconds`, then stops; ignored while fading.
    void setMidiValume(int milliseconds);

    // For tests and diagnostics.
    int refCount(int slot) const;
    int slotOfHandle(int handle) const;
    const std::string& lastMidiName() const { return midiName; }

private:
    static constexpr int kNameBytes = 257;

    WavePlayer* wave;
    MidiPlayer* midi;
    int refCounts[kWaveSlots] = {};
    char names[kWaveSlots][kNameBytes] = {};
    int handleMap[kWaveHandles];
    std::string midiName;
};

}  // namespace sound
