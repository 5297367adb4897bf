// platform/null/null_audio.h
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/audio_output.h"

namespace platform {

class Clock;

// An output without a device: it renders exactly the frames that the
// clock's elapsed time stands for (frame n belongs to instant n / rate)
// and drops them, so a capture of a run on the virtual clock repeats
// sample for sample. On the virtual clock it renders from a 10 ms
// periodic callback; on the real clock a thread of its own wakes every
// 10 ms. Either way the mixer first catches up before any change, so a
// wave started at instant t begins at t's frame.
class NullAudioOutput final : public AudioOutput {
public:
    NullAudioOutput(AudioMixer& mixer, Clock& clock);
    ~NullAudioOutput() override;
    bool isHeadless() const override { return true; }

    // Renders every frame due up to the clock's present.
    void pump();

private:
    static constexpr int kChunkFrames = 1024;

    AudioMixer& mixer;
    Clock& clock;
    std::mutex pumpMutex;
    uint32_t lastNow;
    uint64_t elapsedMs = 0;
    int64_t framesDone = 0;
    int periodicId = 0;
    std::thread worker;
    std::mutex workerMutex;
    std::condition_variable workerWake;
    bool stopping = false;
    int16_t chunk[kChunkFrames * 2];
};

}  // namespace platform
