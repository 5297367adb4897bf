#include "platform/null/null_audio.h"

#include <algorithm>
#include <chrono>

#include "platform/audio_mixer.h"
#include "platform/clock.h"

namespace platform {

namespace {

constexpr uint32_t kPumpPeriod = 10;  // milliseconds

}  // namespace

NullAudioOutput::NullAudioOutput(AudioMixer& audioMixer, Clock& gameClock)
    : mixer(audioMixer), clock(gameClock), lastNow(gameClock.now()) {
    mixer.setCatchUp([this] { pump(); });
    if (clock.isVirtual()) {
        periodicId = static_cast<VirtualClock&>(clock).addPeriodic(kPumpPeriod, [this] { pump(); });
        return;
    }
    worker = std::thread([this] {
        std::unique_lock lock(workerMutex);
        while (!stopping) {
            lock.unlock();
            pump();
            lock.lock();
            workerWake.wait_for(lock, std::chrono::milliseconds(kPumpPeriod),
                                [this] { return stopping; });
        }
    });
}

NullAudioOutput::~NullAudioOutput() {
    if (periodicId) static_cast<VirtualClock&>(clock).removePeriodic(periodicId);
    if (worker.joinable()) {
        {
            std::lock_guard lock(workerMutex);
            stopping = true;
        }
        workerWake.notify_all();
        worker.join();
    }
    // Whatever is due up to now still reaches the capture.
    pump();
    mixer.setCatchUp(nullptr);
}

void NullAudioOutput::pump() {
    // The clock is read before the pump lock: a virtual clock runs this
    // pump from its periodic callback while holding its own lock, on
    // whichever thread moves the clock, so taking the clock's lock under
    // ours could deadlock. Readings may then arrive out of order; an older
    // one adds nothing.
    uint32_t now = clock.now();
    std::lock_guard lock(pumpMutex);
    int32_t step = int32_t(now - lastNow);
    if (step > 0) {
        elapsedMs += uint32_t(step);
        lastNow = now;
    }
    int64_t due = int64_t(elapsedMs * uint64_t(mixer.rate()) / 1000);
    while (framesDone < due) {
        int frames = int(std::min<int64_t>(due - framesDone, kChunkFrames));
        mixer.render(chunk, frames);
        framesDone += frames;
    }
}

}  // namespace platform
