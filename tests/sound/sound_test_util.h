// tests/sound/sound_test_util.h
#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio_capture.h"
#include "platform/audio_mixer.h"
#include "platform/clock.h"
#include "platform/null/null_audio.h"

namespace soundtest {

// RIFF/WAVE bytes: one "fmt " chunk of 16 bytes and one "data" chunk.
std::vector<uint8_t> makeWave(int channels, int rate, int bits, const std::vector<uint8_t>& data);
// 16-bit mono samples all equal to `value`.
std::vector<uint8_t> constantWave(int rate, int frames, int16_t value);
// A chunk: id, little-endian size, bytes, pad byte when odd.
std::vector<uint8_t> chunk(const char* id, const std::vector<uint8_t>& body);
std::vector<uint8_t> fmtBody(int channels, int rate, int bits, int extraBytes = -1);
std::vector<uint8_t> riff(const std::vector<uint8_t>& bodyAfterForm, const char* form = "WAVE");

// Standard MIDI File bytes. A track is a list of (delta, event bytes).
struct MidiEvent {
    uint32_t delta;
    std::vector<uint8_t> bytes;
};
std::vector<uint8_t> makeMidi(int format, int division, const std::vector<std::vector<MidiEvent>>& tracks);
// One track at the default tempo (120 bpm): `program` on channel 0, then
// a note `key` held from `startQuarter` for `quarters` quarter notes.
std::vector<uint8_t> heldNoteMidi(int division, int program, int key, double startQuarter,
                                  double quarters);

// A game folder in a fresh temporary directory, removed at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::string path(const std::string& relative) const;
    void write(const std::string& relative, const std::vector<uint8_t>& bytes) const;
    std::vector<uint8_t> read(const std::string& relative) const;

private:
    std::filesystem::path root;
};

// A mixer rendering on a virtual clock into a capture file. Instants are
// milliseconds since the rig started.
class AudioRig {
public:
    explicit AudioRig(const std::string& capturePath);
    ~AudioRig();
    void advanceTo(uint32_t milliseconds);
    uint32_t elapsed() { return clock.now() - start; }
    // Stops rendering and returns the capture as interleaved samples.
    std::vector<int16_t> finish();

    static int64_t frameAt(uint32_t milliseconds) { return int64_t(milliseconds) * platform::kOutputRate / 1000; }

    platform::VirtualClock clock;
    platform::AudioMixer mixer;

private:
    std::string capturePath;
    platform::AudioCapture capture;
    std::unique_ptr<platform::NullAudioOutput> output;
    uint32_t start;
};

// Samples of a WAV capture (after checking its header: 16-bit stereo at
// the output rate); empty when the header is wrong.
std::vector<int16_t> readCapture(const std::string& path);

// Root mean square of the left channel over frames [from, to).
double rms(const std::vector<int16_t>& samples, int64_t from, int64_t to);
// Largest |sample| of both channels over frames [from, to).
int peak(const std::vector<int16_t>& samples, int64_t from, int64_t to);

}  // namespace soundtest
