// sound/wave_player.h
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sound/wave_file.h"

namespace platform {
class AudioMixer;
}

namespace sound {

constexpr int kWaveSlots = 30;    // files held in memory at once
constexpr int kWaveHandles = 30;  // play handles, one sound buffer each

// Short sound effects: wave files read into data slots, and play handles,
// each a sound buffer of the mixer holding one slot's samples.
//
// `failed` latches only when the sound device (the mixer) refuses
// something; it then blocks every load, buffer creation, play, stop and
// release until initialize() runs again. A missing or malformed file is a
// plain false from loadWaveData() with the reason in errorText().
// Main thread only.
class WavePlayer {
public:
    // With `report` set, starts the report file at `reportPath` (relative
    // paths are relative to the current directory, the game folder).
    explicit WavePlayer(bool report, std::string reportPath = "report_ds.txt");
    // Frees the data and the buffers, stops the primary, reports.
    ~WavePlayer();
    WavePlayer(const WavePlayer&) = delete;
    WavePlayer& operator=(const WavePlayer&) = delete;

    // The folder wave names are relative to, ending in a separator
    // ("wave\" under the game folder).
    void setWaveFolder(const std::string& folder) { waveFolder = folder; }

    // Attaches the player to the mixer and starts the looping primary;
    // buffers of handles that hold data are made again. False (failed
    // latched, reason reported) without a mixer or when a buffer cannot
    // be made.
    bool initialize(platform::AudioMixer* mixer);

    // Reads waveFolder + name into the slot, replacing what it held only
    // on success. True without doing anything before initialize(); false
    // when failed, or when the file is missing or unusable, a wave whose
    // buffer would exceed platform::kMaxBufferFrames included (errorText says
    // which, in code page 932; nothing else changes).
    bool loadWaveData(const char* name, int slot);

    // Gives the handle a buffer holding the slot's samples. True without
    // doing anything before initialize(). False when failed, for a handle
    // outside 0-29 or a slot without data; a buffer the mixer refuses
    // latches failed and is reported.
    bool createPlayBuffer(int slot, int handle);

    // Both do nothing before initialize() or when failed; an index outside
    // 0-29 only sets errorText.
    void freeWaveData(int slot);
    void releasePlayBuffer(int handle);

    // Plays the handle's buffer from its start, once; a playing buffer
    // restarts. Ignored for a handle without a buffer.
    void playHandle(int handle);
    // Stops and rewinds the handle's buffer.
    void stopHandle(int handle);

    bool isInitialized() const { return initialized; }
    bool isFailed() const { return failed; }
    const std::string& errorText() const { return error; }
    // Mixer buffer of a handle, -1 when it has none; for tests.
    int bufferOf(int handle) const;

private:
    struct DataSlot {
        bool loaded = false;
        WaveFormat format;
        std::vector<uint8_t> samples;
    };

    bool validHandle(int handle) const { return handle >= 0 && handle < kWaveHandles; }
    bool fitsOneBuffer(const WaveFormat& format, uint32_t dataSize) const;
    void releaseAll();
    void report(const std::string& line);

    DataSlot slots[kWaveSlots];
    int playBuffers[kWaveHandles];
    int handleData[kWaveHandles];
    platform::AudioMixer* mixer = nullptr;
    bool initialized = false;
    bool failed = false;
    bool reporting;
    std::string reportPath;
    std::string waveFolder;
    std::string error;
};

}  // namespace sound
