#include "platform/audio_mixer.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "platform/audio_capture.h"

namespace platform {

namespace {

int16_t sampleAt(const uint8_t* frame, int bits, int channel) {
    if (bits == 8) return int16_t((int(frame[channel]) - 128) * 256);
    const uint8_t* p = frame + channel * 2;
    return int16_t(uint16_t(p[0] | p[1] << 8));
}

}  // namespace

bool PcmFormat::isSupported() const {
    return (channels == 1 || channels == 2) && (bits == 8 || bits == 16) &&
           rate >= kMinSourceRate && rate <= kMaxSourceRate;
}

uint64_t convertedFrames(const PcmFormat& format, uint64_t frames, int outputRate) {
    assert(format.rate > 0 && outputRate > 0);
    if (frames == 0) return 0;
    // A size_t frame count times a rate below 2^19 fits in 64 bits only
    // below 2^45 frames; anything larger is far past every bound anyway.
    if (frames > (uint64_t(1) << 44)) return UINT64_MAX;
    uint64_t out = (frames * uint64_t(outputRate) + uint64_t(format.rate) / 2) / uint64_t(format.rate);
    return out == 0 ? 1 : out;
}

void convertPcm(const PcmFormat& format, const void* data, size_t frames, int outputRate,
                std::vector<int16_t>& out) {
    assert(format.isSupported() && outputRate > 0);
    out.clear();
    if (frames == 0) return;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    const int align = format.blockAlign();
    const int right = format.channels == 2 ? 1 : 0;
    uint64_t outFrames = convertedFrames(format, frames, outputRate);
    out.resize(size_t(outFrames) * 2);
    if (format.rate == outputRate) {
        for (size_t i = 0; i < frames; ++i) {
            const uint8_t* frame = bytes + i * align;
            out[i * 2] = sampleAt(frame, format.bits, 0);
            out[i * 2 + 1] = sampleAt(frame, format.bits, right);
        }
        return;
    }
    // Source position of output frame i is i * rate / outputRate, kept as
    // an exact fraction so long waves do not drift.
    for (uint64_t i = 0; i < outFrames; ++i) {
        uint64_t numerator = i * uint64_t(format.rate);
        uint64_t index = numerator / uint64_t(outputRate);
        int64_t fraction = int64_t(numerator % uint64_t(outputRate));
        if (index >= frames) index = frames - 1;
        uint64_t next = index + 1 < frames ? index + 1 : index;
        const uint8_t* a = bytes + index * align;
        const uint8_t* b = bytes + next * align;
        for (int c = 0; c < 2; ++c) {
            int channel = c == 0 ? 0 : right;
            int64_t s0 = sampleAt(a, format.bits, channel);
            int64_t s1 = sampleAt(b, format.bits, channel);
            out[i * 2 + c] = int16_t(s0 + (s1 - s0) * fraction / outputRate);
        }
    }
}

AudioMixer::AudioMixer(int rate) : outputRate(rate) { assert(rate > 0); }

AudioMixer::~AudioMixer() = default;

void AudioMixer::catchUp() {
    // The hook is set once by the output before use; reading it unlocked
    // is safe because it only changes while nothing renders.
    if (catchUpHook) catchUpHook();
}

std::unique_lock<std::mutex> AudioMixer::lock() {
    catchUp();
    return std::unique_lock<std::mutex>(mutex);
}

AudioMixer::Buffer* AudioMixer::find(int id) {
    if (id < 0 || id >= kMixerBuffers || !buffers[id].used) return nullptr;
    return &buffers[id];
}

int AudioMixer::createBuffer(const PcmFormat& format, const void* data, size_t bytes) {
    if (!format.isSupported() || !data) return -1;
    size_t frames = bytes / size_t(format.blockAlign());
    if (frames == 0 || convertedFrames(format, frames, outputRate) > kMaxBufferFrames) return -1;
    // Converted outside the lock: a long wave must not stall the output.
    std::vector<int16_t> samples;
    convertPcm(format, data, frames, outputRate, samples);
    auto guard = lock();
    for (int id = 0; id < kMixerBuffers; ++id) {
        Buffer& b = buffers[id];
        if (b.used) continue;
        b.used = true;
        b.playing = false;
        b.looping = false;
        b.sourceRate = format.rate;
        b.sourceBlockAlign = format.blockAlign();
        b.position = 0;
        b.samples.swap(samples);
        return id;
    }
    return -1;
}

void AudioMixer::releaseBuffer(int id) {
    std::vector<int16_t> freed;
    {
        auto guard = lock();
        Buffer* b = find(id);
        if (!b) return;
        b->used = false;
        b->playing = false;
        freed.swap(b->samples);
    }
}

bool AudioMixer::play(int id, bool looping) {
    auto guard = lock();
    Buffer* b = find(id);
    if (!b) return false;
    b->playing = true;
    b->looping = looping;
    return true;
}

bool AudioMixer::stop(int id) {
    auto guard = lock();
    Buffer* b = find(id);
    if (!b) return false;
    b->playing = false;
    return true;
}

bool AudioMixer::setCurrentPosition(int id, uint32_t bytes) {
    auto guard = lock();
    Buffer* b = find(id);
    if (!b) return false;
    int64_t sourceFrame = bytes / uint32_t(b->sourceBlockAlign);
    int64_t frame = sourceFrame * outputRate / b->sourceRate;
    int64_t length = int64_t(b->samples.size() / 2);
    b->position = std::min(frame, length - 1);
    return true;
}

bool AudioMixer::isPlaying(int id) {
    auto guard = lock();
    Buffer* b = find(id);
    return b && b->playing;
}

int64_t AudioMixer::lengthFrames(int id) {
    auto guard = lock();
    Buffer* b = find(id);
    return b ? int64_t(b->samples.size() / 2) : 0;
}

void AudioMixer::playPrimary() {
    auto guard = lock();
    primaryPlaying = true;
}

void AudioMixer::stopPrimary() {
    auto guard = lock();
    primaryPlaying = false;
}

bool AudioMixer::isPrimaryPlaying() {
    auto guard = lock();
    return primaryPlaying;
}

bool AudioMixer::addSource(AudioSource* source) {
    assert(source);
    auto guard = lock();
    for (AudioSource*& slot : sources) {
        if (slot == source) return true;
    }
    for (AudioSource*& slot : sources) {
        if (!slot) {
            slot = source;
            return true;
        }
    }
    return false;
}

void AudioMixer::removeSource(AudioSource* source) {
    auto guard = lock();
    for (AudioSource*& slot : sources) {
        if (slot == source) slot = nullptr;
    }
}

void AudioMixer::setCapture(AudioCapture* target) {
    auto guard = lock();
    capture = target;
}

void AudioMixer::setCatchUp(std::function<void()> hook) {
    std::lock_guard guard(mutex);
    catchUpHook = std::move(hook);
}

int64_t AudioMixer::renderedFrames() {
    std::lock_guard guard(mutex);
    return rendered;
}

void AudioMixer::render(int16_t* out, int frames) {
    std::lock_guard guard(mutex);
    while (frames > 0) {
        int block = std::min(frames, kBlockFrames);
        mixBlock(out, block);
        if (capture) capture->write(out, block);
        rendered += block;
        out += block * 2;
        frames -= block;
    }
}

void AudioMixer::mixBlock(int16_t* out, int frames) {
    memset(accumulator, 0, sizeof(int32_t) * size_t(frames) * 2);
    for (Buffer& b : buffers) {
        if (!b.used || !b.playing) continue;
        const int64_t length = int64_t(b.samples.size() / 2);
        const int16_t* samples = b.samples.data();
        int done = 0;
        while (done < frames && b.playing) {
            int64_t count = std::min<int64_t>(frames - done, length - b.position);
            const int16_t* from = samples + b.position * 2;
            int32_t* to = accumulator + done * 2;
            for (int64_t i = 0; i < count * 2; ++i) to[i] += from[i];
            done += int(count);
            b.position += count;
            if (b.position >= length) {
                b.position = 0;
                if (!b.looping) b.playing = false;
            }
        }
    }
    for (AudioSource* source : sources) {
        if (source) source->mixAudio(accumulator, frames);
    }
    for (int i = 0; i < frames * 2; ++i)
        out[i] = int16_t(std::clamp<int32_t>(accumulator[i], -32768, 32767));
}

}  // namespace platform
