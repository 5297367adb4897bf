// sound/midi_player.h
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio_mixer.h"
#include "sound/midi_file.h"

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_player_t;

namespace sound {

enum class MidiState { Playing = 0, Fading = 1, Stopped = 2 };

// Background music: one Standard MIDI File at a time, played by a
// SoundFont synthesiser that renders into the mixer as a source. Music
// loops from its start point to its end 1000 times, and fades out on
// request.
//
// Every operation does nothing (false where it returns a value) until
// create() succeeds. The main thread calls everything except mixAudio(),
// which the output thread calls; the mixer lock separates them.
class MidiPlayer final : public platform::AudioSource {
public:
    // With `report` set, starts the report file at `reportPath`.
    explicit MidiPlayer(bool report, std::string reportPath = "report_dm.txt");
    ~MidiPlayer() override;
    MidiPlayer(const MidiPlayer&) = delete;
    MidiPlayer& operator=(const MidiPlayer&) = delete;

    // Makes the synthesiser with the SoundFont at `soundFont`, or when that
    // is empty the first of the standard GM SoundFonts found, and joins
    // the mixer. MIDI names are relative to `midiFolder` (no trailing
    // separator). False with errorText() (code page 932) when there is no
    // mixer, no usable SoundFont, or the mixer takes no more sources; the
    // game then runs without music. True at once when already created.
    //
    // With `loadInBackground` only the SoundFont's header is checked here;
    // its samples load on a thread of their own while the game starts, the
    // output stays silent until they are in, and the first call that needs
    // the synthesiser waits for them. Should the body of the file then fail
    // to load, the player is unavailable from that call on, with
    // errorText() set.
    bool create(platform::AudioMixer* mixer, const std::string& midiFolder,
                const std::string& soundFont = "", bool loadInBackground = false);

    // Reads and checks the file, replacing the loaded one (which is
    // unloaded first in any case). False with errorText() when it is
    // missing or not a playable MIDI file.
    bool loadMidiFile(const char* name);

    // Plays `name` from `start` (music time), loading it first when it is
    // not the loaded file; playing restarts from `start` and the volume
    // returns to full at once. A start outside the music plays from the
    // beginning. False when the file cannot be loaded.
    bool playMidiFile(const char* name, int start);
    void stopMidi();
    void unloadMidiFile();

    // Starts a fade-out of `duration` milliseconds on the platform clock,
    // unless one is running.
    void startFade(int duration);
    // Once per logic tick: moves the fade on, stopping the music at its
    // end.
    void updateFade();

    const std::string& errorText() const { return error; }
    bool isAvailable() const { return created && !unavailable; }
    MidiState state() const { return playState; }
    // Hundredths of a decibel, +100 at full level down to -500.
    int masterVolume() const { return volume; }
    const std::string& currentFile() const { return current; }
    // The SoundFont in use; empty before create().
    const std::string& soundFontPath() const { return soundFontFile; }

    void mixAudio(int32_t* accumulator, int frames) override;

private:
    static constexpr int kRepeats = 1000;
    static constexpr int kScratchFrames = 512;

    static int onTick(void* data, int tick);
    void setVolume(int hundredthsDb);
    void startPlayer(int64_t startTick);  // mixer lock held
    void stopPlayer();                    // mixer lock held
    bool loadSoundFont(const std::string& path);
    // Waits for a background load; false when the player is not usable.
    bool waitForSoundFont();
    void report(const std::string& line);

    platform::AudioMixer* mixer = nullptr;
    _fluid_hashtable_t* settings = nullptr;
    _fluid_synth_t* synth = nullptr;
    _fluid_player_t* player = nullptr;  // the sequencer of the music playing

    // The loaded music: the file's bytes, kept so that replaying never
    // reads the file again.
    std::vector<uint8_t> music;
    MidiFileInfo info;
    bool loaded = false;

    // Loop state, touched by the output thread under the mixer lock.
    int loopSeekTick = 0;
    int loopEndTick = 0;
    int loopsLeft = 0;

    // Gain the output thread ramps towards; written under the mixer lock.
    float targetGain = 1.0f;
    float currentGain = 1.0f;

    std::thread soundFontLoader;
    std::atomic<bool> soundFontPending{false};  // read by the output thread
    bool soundFontFailed = false;               // written by the loader before it ends

    bool created = false;
    bool unavailable = true;
    MidiState playState = MidiState::Stopped;
    int volume = 0;
    float fadeProgress = 0.0f;
    uint32_t fadeStart = 0;
    uint32_t fadeDuration = 0;
    std::string error;
    std::string current;
    std::string folder;
    std::string soundFontFile;
    bool reporting;
    std::string reportPath;
    float left[kScratchFrames];
    float right[kScratchFrames];
};

}  // namespace sound
