// MIDI files on arbitrary bytes: our checks first, and what they accept
// goes on to the synthesiser's file loader and plays for a moment, as the
// music player hands it over. No SoundFont is loaded: the notes sound
// nothing, but every event is read and scheduled.
#include <fluidsynth.h>

#include <cstddef>
#include <cstdint>

#include "sound/midi_file.h"

namespace {

constexpr int kRenderFrames = 4096;
constexpr int kRenderBlocks = 8;

fluid_synth_t* quietSynth() {
    static fluid_synth_t* synth = [] {
        for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
            fluid_set_log_function(level, nullptr, nullptr);
        fluid_settings_t* settings = new_fluid_settings();
        fluid_settings_setnum(settings, "synth.sample-rate", 8000.0);
        fluid_settings_setint(settings, "player.reset-synth", 0);
        return new_fluid_synth(settings);
    }();
    return synth;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sound::MidiFileInfo info;
    if (!sound::readMidiInfo(data, size, info)) return 0;
    if (info.tracks < 1 || info.division < 1 || info.lengthTicks < 0) __builtin_trap();
    (void)sound::musicToFileTicks(sound::kMusicTicksPerQuarter * 4, info.division);
    fluid_synth_t* synth = quietSynth();
    fluid_player_t* player = new_fluid_player(synth);
    if (fluid_player_add_mem(player, data, size) == FLUID_OK && fluid_player_play(player) == FLUID_OK) {
        static int16_t frames[kRenderFrames * 2];
        for (int i = 0; i < kRenderBlocks && fluid_player_get_status(player) == FLUID_PLAYER_PLAYING; ++i)
            fluid_synth_write_s16(synth, kRenderFrames, frames, 0, 2, frames, 1, 2);
        fluid_player_stop(player);
    }
    delete_fluid_player(player);
    fluid_synth_system_reset(synth);
    return 0;
}
