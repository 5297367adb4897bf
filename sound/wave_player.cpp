#include "sound/wave_player.h"

#include "platform/audio_mixer.h"
#include "platform/file_report.h"
#include "platform/files.h"
#include "sound/sound_text.h"

namespace sound {

WavePlayer::WavePlayer(bool reportOn, std::string path)
    : reporting(reportOn), reportPath(std::move(path)) {
    for (int i = 0; i < kWaveHandles; ++i) {
        playBuffers[i] = -1;
        handleData[i] = -1;
    }
    if (reporting) startReport(reportPath, formatText(text::kDsReportHeader));
}

WavePlayer::~WavePlayer() {
    for (DataSlot& slot : slots) {
        slot.loaded = false;
        slot.samples.clear();
    }
    // The mixer outlives the player, so its buffers go back even after a
    // device failure.
    releaseAll();
    report(formatText(text::kDsDestroyed));
}

void WavePlayer::report(const std::string& line) {
    if (reporting) appendReport(reportPath, line);
}

void WavePlayer::releaseAll() {
    if (!mixer) return;
    for (int& buffer : playBuffers) {
        if (buffer >= 0) mixer->releaseBuffer(buffer);
        buffer = -1;
    }
    mixer->stopPrimary();
    mixer = nullptr;
}

// A wave whose buffer would outgrow the mixer's bound is refused at load,
// as content, so that it cannot latch a device failure later.
bool WavePlayer::fitsOneBuffer(const WaveFormat& format, uint32_t dataSize) const {
    platform::PcmFormat pcm;
    pcm.channels = format.channels;
    pcm.rate = int(format.samplesPerSec);
    pcm.bits = format.bitsPerSample;
    uint64_t frames = dataSize / uint32_t(pcm.blockAlign());
    int outputRate = mixer ? mixer->rate() : platform::kOutputRate;
    return platform::convertedFrames(pcm, frames, outputRate) <= platform::kMaxBufferFrames;
}

int WavePlayer::bufferOf(int handle) const { return validHandle(handle) ? playBuffers[handle] : -1; }

bool WavePlayer::initialize(platform::AudioMixer* audioMixer) {
    releaseAll();
    report(formatText(text::kDsInitStart));
    error.clear();
    initialized = true;
    failed = false;
    if (!audioMixer) {
        error = formatText(text::kDsCreateFailed);
        failed = true;
        report(formatText(text::kDsInitFailed, error, std::string::npos));
        return false;
    }
    mixer = audioMixer;
    for (int handle = 0; handle < kWaveHandles; ++handle) {
        if (handleData[handle] >= 0 && !createPlayBuffer(handleData[handle], handle)) {
            failed = true;
            return false;
        }
    }
    mixer->playPrimary();
    report(formatText(text::kDsInitDone));
    return true;
}

bool WavePlayer::loadWaveData(const char* name, int slot) {
    if (!initialized) return true;
    if (failed) return false;
    error.clear();
    if (slot < 0 || slot >= kWaveSlots) {
        error = formatText(text::kDsIndexOutOfRange);
        return false;
    }
    std::vector<uint8_t> file;
    if (!platform::readFile(waveFolder + name, file)) {
        if (!platform::wasRefusedAsSpecialFile())
            platform::reportFileOnce("cannot read the wave '%s'", waveFolder + name);
        error = formatText(text::kDsCannotLoad, name);
        return false;
    }
    WaveFormat format;
    const uint8_t* data = nullptr;
    uint32_t dataSize = 0;
    if (!readWave(file.data(), file.size(), format, data, dataSize) || !fitsOneBuffer(format, dataSize)) {
        platform::reportFileOnce("cannot play the wave '%s' (format, rate or length)", waveFolder + name);
        error = formatText(text::kDsBadContent, name);
        return false;
    }
    DataSlot& target = slots[slot];
    target.format = format;
    target.samples.assign(data, data + dataSize);
    target.loaded = true;
    return true;
}

bool WavePlayer::createPlayBuffer(int slot, int handle) {
    if (!initialized) return true;
    if (failed) return false;
    error.clear();
    if (!validHandle(handle) || slot < 0 || slot >= kWaveSlots || !slots[slot].loaded) return false;
    if (playBuffers[handle] >= 0) {
        mixer->releaseBuffer(playBuffers[handle]);
        playBuffers[handle] = -1;
    }
    const DataSlot& data = slots[slot];
    platform::PcmFormat format;
    format.channels = data.format.channels;
    format.rate = int(data.format.samplesPerSec);
    format.bits = data.format.bitsPerSample;
    int buffer = mixer->createBuffer(format, data.samples.data(), data.samples.size());
    if (buffer < 0) {
        error = formatText(text::kDsBufferCreateFailed);
        failed = true;
        report(formatText(text::kDsBufferFailed, error, std::string::npos));
        return false;
    }
    playBuffers[handle] = buffer;
    handleData[handle] = slot;
    return true;
}

void WavePlayer::freeWaveData(int slot) {
    if (!initialized || failed) return;
    error.clear();
    if (slot < 0 || slot >= kWaveSlots) {
        error = formatText(text::kDsIndexOutOfRange);
        return;
    }
    slots[slot].loaded = false;
    slots[slot].samples.clear();
    slots[slot].samples.shrink_to_fit();
    for (int& data : handleData) {
        if (data == slot) data = -1;
    }
}

void WavePlayer::releasePlayBuffer(int handle) {
    if (!initialized || failed) return;
    error.clear();
    if (!validHandle(handle)) {
        error = formatText(text::kDsIndexOutOfRange);
        return;
    }
    if (playBuffers[handle] >= 0) mixer->releaseBuffer(playBuffers[handle]);
    playBuffers[handle] = -1;
    handleData[handle] = -1;
}

void WavePlayer::playHandle(int handle) {
    if (!initialized || failed || !validHandle(handle) || playBuffers[handle] < 0) return;
    int buffer = playBuffers[handle];
    mixer->stop(buffer);
    mixer->setCurrentPosition(buffer, 0);
    mixer->play(buffer, false);
}

void WavePlayer::stopHandle(int handle) {
    if (!initialized || failed || !validHandle(handle) || playBuffers[handle] < 0) return;
    mixer->stop(playBuffers[handle]);
    mixer->setCurrentPosition(playBuffers[handle], 0);
}

}  // namespace sound
