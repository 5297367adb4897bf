// platform/audio_capture.h
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

// Writes the mixed output to a 16-bit PCM WAV file as it is rendered. The
// header's sizes are filled in by close(), or by a forced end of the
// program (platform/forced_end.h) from the samples on disk; a capture
// that is never closed (a crash) still holds every sample written, with
// the sizes left at 0.
// Captures stop growing just short of the format's 4 GiB limit.
class AudioCapture {
public:
    AudioCapture() = default;
    ~AudioCapture();
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    // False when the file cannot be created. `path` is a host path, not a
    // game path.
    bool open(const std::string& path, int rate, int channels = 2);

    // Interleaved frames of `channels` samples each.
    void write(const int16_t* samples, int frames);

    // Completes the header. False when any write failed.
    bool close();

    bool isOpen() const { return file != nullptr; }

private:
    FILE* file = nullptr;
    int channelCount = 2;
    uint32_t dataBytes = 0;
    bool writeFailed = false;
    int forcedEndSlot = -1;
};

}  // namespace platform
