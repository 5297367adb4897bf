#include "sound/sound_functions.h"

#include <cstring>

#include "sound/midi_player.h"

namespace sound {

SoundFunctions::SoundFunctions(WavePlayer* wavePlayer, MidiPlayer* midiPlayer)
    : wave(wavePlayer), midi(midiPlayer) {
    for (int& slot : handleMap) slot = -1;
}

int SoundFunctions::refCount(int slot) const {
    return slot >= 0 && slot < kWaveSlots ? refCounts[slot] : 0;
}

int SoundFunctions::slotOfHandle(int handle) const {
    return handle >= 0 && handle < kWaveHandles ? handleMap[handle] : -1;
}

int SoundFunctions::loadWave(const char* file) {
    if (!wave || !file) return -1;
    int slot = -1;
    for (int i = 0; i < kWaveSlots; ++i) {
        if (refCounts[i] > 0 && strncmp(names[i], file, kNameBytes) == 0) {
            slot = i;
            break;
        }
    }
    if (slot < 0) {
        for (int i = 0; i < kWaveSlots; ++i) {
            if (refCounts[i] == 0) {
                slot = i;
                break;
            }
        }
        if (slot < 0 || !wave->loadWaveData(file, slot)) return -1;
        strncpy(names[slot], file, kNameBytes - 1);
        names[slot][kNameBytes - 1] = '\0';
    }
    int handle = -1;
    for (int i = 0; i < kWaveHandles; ++i) {
        if (handleMap[i] == -1) {
            handle = i;
            break;
        }
    }
    if (handle < 0 || !wave->createPlayBuffer(slot, handle)) return -1;
    handleMap[handle] = slot;
    ++refCounts[slot];
    return handle;
}

void SoundFunctions::unloadWave(int handle) {
    if (!wave || handle < 0 || handle >= kWaveHandles) return;
    wave->releasePlayBuffer(handle);
    int slot = handleMap[handle];
    if (slot >= 0 && refCounts[slot] > 0 && --refCounts[slot] == 0) {
        wave->freeWaveData(slot);
        names[slot][0] = '\0';
    }
    handleMap[handle] = -1;
}

void SoundFunctions::playWave(int handle) {
    if (!wave || handle < 0 || handle >= kWaveHandles) return;
    wave->playHandle(handle);
}

void SoundFunctions::stopWave(int handle) {
    if (!wave || handle < 0 || handle >= kWaveHandles || !wave->isInitialized()) return;
    wave->stopHandle(handle);
}

bool SoundFunctions::loadMidi(const char* file) {
    if (!midi || !file) {
        midiName.clear();
        return false;
    }
    bool loaded = midi->loadMidiFile(file);
    if (loaded) {
        midiName.assign(file, strnlen(file, kNameBytes - 1));
    } else {
        midiName.clear();
    }
    return loaded;
}

void SoundFunctions::unloadMidi() {
    if (midi) midi->unloadMidiFile();
}

void SoundFunctions::playMidi(int start) {
    if (midi) midi->playMidiFile(midiName.c_str(), start);
}

void SoundFunctions::stopMidi() {
    if (midi) midi->stopMidi();
}

void SoundFunctions::setMidiValume(int milliseconds) {
    if (midi) midi->startFade(milliseconds);
}

}  // namespace sound
