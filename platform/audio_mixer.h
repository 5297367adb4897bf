// platform/audio_mixer.h
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace platform {

class AudioCapture;

// The output is 16-bit stereo at this rate unless the mixer is made with
// another one.
constexpr int kOutputRate = 44100;
constexpr int kMixerBuffers = 64;   // sound buffers alive at once
constexpr int kMixerSources = 4;    // streaming sources (the synthesiser)
// Source rates a buffer can be made from: the old sound API's lowest rate
// up to the highest rate of today's devices.
constexpr int kMinSourceRate = 100;
constexpr int kMaxSourceRate = 384000;
// No buffer holds more output frames than this (64 MiB of 16-bit stereo,
// over six minutes at 44.1 kHz), whatever rate and length a file states.
constexpr uint64_t kMaxBufferFrames = uint64_t(16) << 20;

// Linear PCM as a wave file describes it: 8-bit unsigned or 16-bit signed
// little-endian samples, one or two interleaved channels.
struct PcmFormat {
    int channels = 2;
    int rate = 22050;
    int bits = 16;

    int blockAlign() const { return channels * bits / 8; }
    // The formats a buffer can be made from; rates kMinSourceRate to
    // kMaxSourceRate.
    bool isSupported() const;
};

// Output frames that `frames` source frames become at `outputRate`: the
// same duration to the nearest frame, at least one for a non-empty input.
uint64_t convertedFrames(const PcmFormat& format, uint64_t frames, int outputRate);

// A source the mixer pulls on its own thread, e.g. a synthesiser. It adds
// `frames` interleaved stereo frames to `accumulator`, on the 16-bit
// scale (full scale is 32767), without clipping. Called with the mixer
// lock held, so whatever the main thread changes under AudioMixer::lock()
// is never seen half done.
class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual void mixAudio(int32_t* accumulator, int frames) = 0;
};

// Sound buffers in the manner of the old sound API: each buffer holds its
// own copy of the samples (converted to the output format when made), a
// play position and a playing flag. A buffer plays from its position,
// once or looping, and stops by itself at its end (the position then
// returns to 0). The primary buffer only records whether it plays: the
// output runs all the time and mixes whatever buffers and sources play.
//
// Every method may be called from the main thread while the output thread
// renders: one mutex guards the table, and the render holds it for one
// block. Before each change the mixer calls the catch-up hook of a
// clock-driven output (see NullAudioOutput), so a change made at a given
// instant takes effect at exactly that instant's sample.
class AudioMixer {
public:
    explicit AudioMixer(int rate = kOutputRate);
    ~AudioMixer();
    AudioMixer(const AudioMixer&) = delete;
    AudioMixer& operator=(const AudioMixer&) = delete;

    int rate() const { return outputRate; }

    // Buffer id, or -1 when the format is unsupported, the data holds no
    // whole frame, its conversion would exceed kMaxBufferFrames, or every
    // buffer is in use. The data is copied; a
    // partial last frame is dropped.
    int createBuffer(const PcmFormat& format, const void* data, size_t bytes);
    void releaseBuffer(int id);

    // Each returns false for an id that names no buffer.
    bool play(int id, bool looping);
    bool stop(int id);
    // Position in bytes of the buffer's own format, as the game counts it.
    bool setCurrentPosition(int id, uint32_t bytes);
    bool isPlaying(int id);
    // Length in output frames; 0 for an id that names no buffer.
    int64_t lengthFrames(int id);

    void playPrimary();
    void stopPrimary();
    bool isPrimaryPlaying();

    // False when the source table is full. The source must outlive its
    // registration.
    bool addSource(AudioSource* source);
    void removeSource(AudioSource* source);

    // For sources: hold this while changing state that mixAudio reads.
    // It first lets a clock-driven output catch up to the present.
    std::unique_lock<std::mutex> lock();

    // Fills `out` with `frames` interleaved stereo frames and hands them
    // to the capture. The output thread calls it; nothing else should.
    void render(int16_t* out, int frames);

    // The capture receives every rendered frame until set to null; the
    // caller keeps it alive meanwhile.
    void setCapture(AudioCapture* capture);

    // Called without the mixer lock before each change; set by an output
    // that renders on the game's clock. Empty to remove.
    void setCatchUp(std::function<void()> hook);

    // Frames rendered since construction.
    int64_t renderedFrames();

private:
    struct Buffer {
        bool used = false;
        bool playing = false;
        bool looping = false;
        int sourceRate = 0;
        int sourceBlockAlign = 0;
        int64_t position = 0;            // output frames
        std::vector<int16_t> samples;    // stereo, output rate
    };
    static constexpr int kBlockFrames = 512;

    void catchUp();
    Buffer* find(int id);
    void mixBlock(int16_t* out, int frames);

    int outputRate;
    std::mutex mutex;
    std::function<void()> catchUpHook;
    Buffer buffers[kMixerBuffers];
    AudioSource* sources[kMixerSources] = {};
    AudioCapture* capture = nullptr;
    bool primaryPlaying = false;
    int64_t rendered = 0;
    int32_t accumulator[kBlockFrames * 2];
};

// Converts PCM to interleaved stereo 16-bit at `outputRate` by linear
// interpolation. The result lasts as long as the input, rounded to the
// nearest output frame (at least one frame for a non-empty input).
void convertPcm(const PcmFormat& format, const void* data, size_t frames, int outputRate,
                std::vector<int16_t>& out);

}  // namespace platform
