// Cost of the sound output per second of audio: the mixer with 30 wave
// voices, the synthesiser playing dense music, and both together. Each
// iteration renders one second in device-sized blocks, so the CPU time
// per iteration, divided by one second, is the share of one core the
// output takes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/audio_mixer.h"
#include "platform/text_codec.h"
#include "sound/midi_player.h"

namespace {

constexpr int kVoices = 30;
constexpr int kCallbackFrames = 1024;  // the device callback's block

// 30 different one-second waves in the formats games use, all looping.
void startVoices(platform::AudioMixer& mixer) {
    const platform::PcmFormat formats[] = {{1, 22050, 16}, {2, 22050, 16}, {1, 11025, 8},
                                           {2, 44100, 16}, {1, 44100, 16}, {1, 8000, 8}};
    for (int v = 0; v < kVoices; ++v) {
        const platform::PcmFormat& f = formats[v % 6];
        std::vector<uint8_t> data(size_t(f.rate) * size_t(f.blockAlign()));
        for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * (v + 3));
        int id = mixer.createBuffer(f, data.data(), data.size());
        mixer.play(id, true);
    }
}

void put32be(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
}

// Eight melodic channels playing three-note chords every eighth note and
// a drum channel, at 120 bpm: about 40 to 70 voices at once.
std::vector<uint8_t> denseMusic() {
    const uint8_t programs[8] = {0, 48, 33, 19, 61, 73, 25, 89};
    std::vector<std::vector<uint8_t>> tracks;
    for (int channel = 0; channel < 10; ++channel) {
        if (channel == 8) continue;
        std::vector<uint8_t> t;
        uint8_t program = channel == 9 ? 0 : programs[channel];
        t.insert(t.end(), {0x00, uint8_t(0xC0 | channel), program});
        for (int step = 0; step < 64; ++step) {
            uint8_t root = uint8_t(channel == 9 ? 35 + step % 12 : 40 + channel * 4 + step % 7);
            for (int n = 0; n < 3; ++n)
                t.insert(t.end(), {0x00, uint8_t(0x90 | channel), uint8_t(root + n * 4), 90});
            // Released an eighth note later (96 ticks per quarter).
            for (int n = 0; n < 3; ++n)
                t.insert(t.end(), {uint8_t(n ? 0x00 : 0x30), uint8_t(0x80 | channel),
                                   uint8_t(root + n * 4), 0});
        }
        t.insert(t.end(), {0x00, 0xFF, 0x2F, 0x00});
        tracks.push_back(t);
    }
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, uint8_t(tracks.size()), 0, 96};
    for (const auto& t : tracks) {
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        put32be(file, uint32_t(t.size()));
        file.insert(file.end(), t.begin(), t.end());
    }
    return file;
}

// A MIDI player on the mixer playing the dense music; null without a
// SoundFont.
std::unique_ptr<sound::MidiPlayer> startMusic(platform::AudioMixer& mixer,
                                              const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    std::vector<uint8_t> music = denseMusic();
    std::ofstream(folder / "bench.mid", std::ios::binary)
        .write(reinterpret_cast<const char*>(music.data()), std::streamsize(music.size()));
    auto player = std::make_unique<sound::MidiPlayer>(false);
    if (!player->create(&mixer, folder.string()) || !player->playMidiFile("bench.mid", 0)) {
        fprintf(stderr, "sound_bench: %s\n", platform::displayText(player->errorText()).c_str());
        return nullptr;
    }
    return player;
}

void renderSeconds(benchmark::State& state, platform::AudioMixer& mixer) {
    std::vector<int16_t> block(kCallbackFrames * 2);
    for (auto _ : state) {
        for (int done = 0; done < mixer.rate(); done += kCallbackFrames) {
            mixer.render(block.data(), std::min(kCallbackFrames, mixer.rate() - done));
            benchmark::DoNotOptimize(block.data());
        }
    }
}

void MixerThirtyVoices(benchmark::State& state) {
    platform::AudioMixer mixer;
    startVoices(mixer);
    renderSeconds(state, mixer);
}

void SynthesiserDenseMusic(benchmark::State& state) {
    platform::AudioMixer mixer;
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "tesserae-sound-bench";
    std::unique_ptr<sound::MidiPlayer> player = startMusic(mixer, folder);
    if (!player) {
        state.SkipWithError("no SoundFont: install timgm6mb-soundfont");
        return;
    }
    renderSeconds(state, mixer);
}

void VoicesAndMusic(benchmark::State& state) {
    platform::AudioMixer mixer;
    startVoices(mixer);
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "tesserae-sound-bench";
    std::unique_ptr<sound::MidiPlayer> player = startMusic(mixer, folder);
    if (!player) {
        state.SkipWithError("no SoundFont: install timgm6mb-soundfont");
        return;
    }
    renderSeconds(state, mixer);
}

}  // namespace

BENCHMARK(MixerThirtyVoices)->Unit(benchmark::kMillisecond);
BENCHMARK(SynthesiserDenseMusic)->Unit(benchmark::kMillisecond);
BENCHMARK(VoicesAndMusic)->Unit(benchmark::kMillisecond);
