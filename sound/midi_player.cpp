#include "sound/midi_player.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>

#include "platform/clock.h"
#include "platform/file_report.h"
#include "platform/files.h"
#include "sound/sound_text.h"

namespace sound {

namespace {

constexpr const char* kStandardSoundFonts[] = {
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/default-GM.sf2",
};

// The synthesiser's own gain; the master volume of the music applies on
// top. Chosen so a dense GM arrangement stays clear of clipping.
constexpr double kSynthGain = 0.5;
// Voices sounding at once. Plenty for 16 channels of GM game music; a
// dense passage steals the quietest voices instead of costing without
// bound (the output thread must keep up: at 64 voices the synthesiser
// takes under 2% of a core).
constexpr int kPolyphony = 64;
constexpr int kFullVolume = 100;   // hundredths of a decibel
constexpr int kFadeFloor = -500;

// SoundFonts are read through the platform's file layer and handed to the
// synthesiser's loader from memory. The loader's callbacks carry no
// context, so the bytes being loaded sit here while sfload runs.
std::mutex soundFontMutex;
const std::vector<uint8_t>* soundFontBytes = nullptr;

struct MemoryFile {
    const std::vector<uint8_t>* bytes;
    long long pos;
};

void* openMemory(const char*) {
    if (!soundFontBytes) return nullptr;
    return new MemoryFile{soundFontBytes, 0};
}

int readMemory(void* buffer, fluid_long_long_t count, void* handle) {
    auto* file = static_cast<MemoryFile*>(handle);
    long long size = (long long)file->bytes->size();
    if (count < 0 || count > size - file->pos) return FLUID_FAILED;
    memcpy(buffer, file->bytes->data() + file->pos, size_t(count));
    file->pos += count;
    return FLUID_OK;
}

int seekMemory(void* handle, fluid_long_long_t offset, int origin) {
    auto* file = static_cast<MemoryFile*>(handle);
    long long size = (long long)file->bytes->size();
    long long base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? file->pos : size;
    long long target = base + offset;
    if (target < 0 || target > size) return FLUID_FAILED;
    file->pos = target;
    return FLUID_OK;
}

fluid_long_long_t tellMemory(void* handle) { return static_cast<MemoryFile*>(handle)->pos; }

int closeMemory(void* handle) {
    delete static_cast<MemoryFile*>(handle);
    return FLUID_OK;
}

// The synthesiser's errors reach stderr as ours, marked as its own; its
// warnings, notes and debugging lines are not for the user.
void printLibraryError(int, const char* message, void*) {
    fprintf(stderr, "tesserae: synthesiser: %s\n", message);
}

void muteLibraryChatter() {
    static std::once_flag once;
    std::call_once(once, [] {
        fluid_set_log_function(FLUID_PANIC, printLibraryError, nullptr);
        fluid_set_log_function(FLUID_ERR, printLibraryError, nullptr);
        fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
        fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
        fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
    });
}

// Only SoundFont 2 files ("RIFF" of form "sfbk") reach the synthesiser:
// its loaders for other formats print their own complaints about
// anything else.
bool looksLikeSoundFont(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= 12 && memcmp(bytes.data(), "RIFF", 4) == 0 && memcmp(bytes.data() + 8, "sfbk", 4) == 0;
}

bool hasSoundFontHeader(const std::string& path) {
    FILE* file = platform::openGameFile(path, "rb");
    if (!file) return false;
    std::vector<uint8_t> header(12);
    header.resize(fread(header.data(), 1, header.size(), file));
    fclose(file);
    return looksLikeSoundFont(header);
}

float gainOf(int hundredthsDb) { return float(std::pow(10.0, hundredthsDb / 2000.0)); }

}  // namespace

MidiPlayer::MidiPlayer(bool reportOn, std::string path)
    : reporting(reportOn), reportPath(std::move(path)) {
    if (reporting) startReport(reportPath, formatText(text::kDmReportHeader));
}

MidiPlayer::~MidiPlayer() {
    if (soundFontLoader.joinable()) soundFontLoader.join();
    unloadMidiFile();
    if (mixer) mixer->removeSource(this);
    if (synth) delete_fluid_synth(synth);
    if (settings) delete_fluid_settings(settings);
    created = false;
    unavailable = true;
    report(formatText(text::kDmDestroyed));
}

void MidiPlayer::report(const std::string& line) {
    if (reporting) appendReport(reportPath, line);
}

bool MidiPlayer::loadSoundFont(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!platform::readFile(path, bytes) || !looksLikeSoundFont(bytes)) return false;
    fluid_sfloader_t* loader = new_fluid_defsfloader(settings);
    if (!loader) return false;
    fluid_sfloader_set_callbacks(loader, openMemory, readMemory, seekMemory, tellMemory,
                                 closeMemory);
    fluid_synth_add_sfloader(synth, loader);
    std::lock_guard guard(soundFontMutex);
    soundFontBytes = &bytes;
    int id = fluid_synth_sfload(synth, path.c_str(), 1);
    soundFontBytes = nullptr;
    return id != FLUID_FAILED;
}

bool MidiPlayer::waitForSoundFont() {
    if (soundFontLoader.joinable()) {
        soundFontLoader.join();
        if (soundFontFailed) {
            error = formatText(text::kDmBadSoundFont, soundFontFile);
            report(formatText(text::kDmFailed, error, std::string::npos));
            unavailable = true;
        }
    }
    return isAvailable();
}

bool MidiPlayer::create(platform::AudioMixer* audioMixer, const std::string& midiFolder,
                        const std::string& soundFont, bool loadInBackground) {
    if (synth) return true;
    unavailable = true;
    error.clear();
    current.clear();
    muteLibraryChatter();

    auto fail = [&](const std::string& text) {
        error = text;
        report(formatText(text::kDmFailed, error, std::string::npos));
        if (synth) delete_fluid_synth(synth);
        if (settings) delete_fluid_settings(settings);
        synth = nullptr;
        settings = nullptr;
        return false;
    };
    if (!audioMixer) return fail(formatText(text::kDmInitFailed));
    settings = new_fluid_settings();
    if (settings) {
        fluid_settings_setnum(settings, "synth.sample-rate", double(audioMixer->rate()));
        fluid_settings_setnum(settings, "synth.gain", kSynthGain);
        fluid_settings_setint(settings, "synth.cpu-cores", 1);
        fluid_settings_setint(settings, "synth.polyphony", kPolyphony);
        synth = new_fluid_synth(settings);
    }
    if (!synth) {
        if (settings) delete_fluid_settings(settings);
        settings = nullptr;
        report(formatText(text::kDmPerformanceFailed));
        return false;
    }

    // The SoundFont stands where the old system had its built-in GM set.
    std::string chosen = soundFont;
    if (chosen.empty()) {
        for (const char* path : kStandardSoundFonts) {
            if (platform::fileExists(path)) {
                chosen = path;
                break;
            }
        }
        if (chosen.empty()) return fail(formatText(text::kDmNoSoundFont));
    }
    if (loadInBackground) {
        if (!hasSoundFontHeader(chosen)) return fail(formatText(text::kDmBadSoundFont, chosen));
        soundFontPending.store(true);
        try {
            soundFontLoader = std::thread([this, chosen] {
                soundFontFailed = !loadSoundFont(chosen);
                soundFontPending.store(false);
            });
        } catch (const std::system_error&) {
            soundFontPending.store(false);
            if (!loadSoundFont(chosen)) return fail(formatText(text::kDmBadSoundFont, chosen));
        }
    } else if (!loadSoundFont(chosen)) {
        return fail(formatText(text::kDmBadSoundFont, chosen));
    }

    folder = midiFolder;
    // Joining the mixer is the synthesiser's port.
    if (!audioMixer->addSource(this)) {
        if (soundFontLoader.joinable()) soundFontLoader.join();
        return fail(formatText(text::kDmSynthFailed));
    }
    mixer = audioMixer;
    soundFontFile = chosen;
    unavailable = false;
    report(formatText(text::kDmCreated));
    created = true;
    return true;
}

bool MidiPlayer::loadMidiFile(const char* name) {
    if (!waitForSoundFont() || !name) return false;
    if (loaded) unloadMidiFile();
    std::vector<uint8_t> bytes;
    MidiFileInfo fileInfo;
    const char* code = nullptr;
    if (!platform::readFile(folder + "\\" + name, bytes)) {
        code = text::kDmFailedOpen;
    } else if (!readMidiInfo(bytes.data(), bytes.size(), fileInfo)) {
        code = text::kDmFormatNotSupported;
    }
    if (code) {
        if (!(code == text::kDmFailedOpen && platform::wasRefusedAsSpecialFile()))
            platform::reportFileOnce(code == text::kDmFailedOpen ? "cannot read the MIDI file '%s'"
                                                                  : "cannot play the MIDI file '%s'",
                                     folder + "\\" + name);
        error = formatText(text::kDmCannotLoad, name) + formatText(code);
        if (error.size() > 256) error.resize(256);
        report(formatText(text::kDmFailed, error, std::string::npos));
        return false;
    }
    music.swap(bytes);
    info = fileInfo;
    loaded = true;
    current.assign(name, strnlen(name, 256));
    report(formatText(text::kDmLoaded, current, std::string::npos));
    return true;
}

void MidiPlayer::startPlayer(int64_t startTick) {
    player = new_fluid_player(synth);
    if (!player) return;
    fluid_player_add_mem(player, music.data(), music.size());
    loopEndTick = int(info.lengthTicks);
    if (startTick == 0) {
        // The sequencer's own loop restarts at the end, notes of tick 0
        // included.
        fluid_player_set_loop(player, kRepeats + 1);
        loopsLeft = 0;
    } else {
        // A seek sounds only the notes after the tick sought, so a loop to
        // `start` seeks one tick before it. The first start is exact.
        fluid_player_set_tick_callback(player, &MidiPlayer::onTick, this);
        loopSeekTick = int(startTick) - 1;
        loopsLeft = kRepeats;
        fluid_player_seek(player, int(startTick));
    }
    fluid_player_play(player);
}

void MidiPlayer::stopPlayer() {
    if (player) {
        fluid_player_stop(player);
        delete_fluid_player(player);
        player = nullptr;
    }
    loopsLeft = 0;
    fluid_synth_all_sounds_off(synth, -1);
}

int MidiPlayer::onTick(void* data, int tick) {
    auto* self = static_cast<MidiPlayer*>(data);
    if (self->loopsLeft > 0 && tick >= self->loopEndTick - 1 &&
        fluid_player_seek(self->player, self->loopSeekTick) == FLUID_OK)
        --self->loopsLeft;
    return FLUID_OK;
}

bool MidiPlayer::playMidiFile(const char* name, int start) {
    if (!waitForSoundFont() || !name) return false;
    playState = MidiState::Playing;
    if (!loaded || current != name) {
        if (!loadMidiFile(name)) return false;
    }
    int64_t startTick = start > 0 ? musicToFileTicks(start, info.division) : 0;
    if (startTick >= info.lengthTicks) startTick = 0;
    {
        auto guard = mixer->lock();
        stopPlayer();
        startPlayer(startTick);
        currentGain = targetGain = gainOf(kFullVolume);
    }
    volume = kFullVolume;
    return true;
}

void MidiPlayer::stopMidi() {
    if (!waitForSoundFont()) return;
    if (loaded) {
        auto guard = mixer->lock();
        stopPlayer();
    }
    playState = MidiState::Stopped;
}

void MidiPlayer::unloadMidiFile() {
    if (!waitForSoundFont()) return;
    if (loaded) {
        {
            auto guard = mixer->lock();
            stopPlayer();
        }
        playState = MidiState::Stopped;
        loaded = false;
        music.clear();
        music.shrink_to_fit();
    }
    current.clear();
}

void MidiPlayer::startFade(int duration) {
    if (!waitForSoundFont() || playState == MidiState::Fading) return;
    playState = MidiState::Fading;
    fadeStart = platform::clock().now();
    fadeDuration = uint32_t(std::max(duration, 0));
}

void MidiPlayer::setVolume(int hundredthsDb) {
    volume = hundredthsDb;
    auto guard = mixer->lock();
    targetGain = gainOf(hundredthsDb);
}

void MidiPlayer::updateFade() {
    // Nothing plays before the SoundFont is in; the tick must not wait.
    if (soundFontPending.load() || !waitForSoundFont()) return;
    switch (playState) {
        case MidiState::Playing:
            if (volume < kFullVolume) setVolume(kFullVolume);
            break;
        case MidiState::Fading: {
            uint32_t elapsed = platform::clock().now() - fadeStart;
            fadeProgress = fadeDuration == 0 ? 1.0f : std::min(1.0f, float(elapsed) / float(fadeDuration));
            setVolume(int((1.0f - fadeProgress) * kFullVolume + fadeProgress * kFadeFloor));
            if (fadeProgress >= 1.0f) stopMidi();
            break;
        }
        case MidiState::Stopped: break;
    }
}

void MidiPlayer::mixAudio(int32_t* accumulator, int frames) {
    if (soundFontPending.load()) return;  // silent until the SoundFont is in
    while (frames > 0) {
        int count = std::min(frames, kScratchFrames);
        fluid_synth_write_float(synth, count, left, 0, 1, right, 0, 1);
        // The gain moves linearly over the block, so a fade has no steps.
        float step = (targetGain - currentGain) / float(count);
        float gain = currentGain;
        for (int i = 0; i < count; ++i) {
            gain += step;
            float scale = gain * 32767.0f;
            accumulator[i * 2] += int32_t(std::lrint(left[i] * scale));
            accumulator[i * 2 + 1] += int32_t(std::lrint(right[i] * scale));
        }
        currentGain = targetGain;
        accumulator += count * 2;
        frames -= count;
    }
}

}  // namespace sound
