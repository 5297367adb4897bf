// app/g_app_2.h
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/g_app.h"
#include "app/input.h"
#include "graphics/camera.h"
#include "graphics/g_d3d.h"
#include "graphics/lighting.h"
#include "platform/audio_capture.h"
#include "platform/audio_mixer.h"
#include "platform/audio_output.h"
#include "platform/input_script.h"
#include "platform/shared_library.h"
#include "sound/midi_player.h"
#include "sound/sound_functions.h"
#include "sound/wave_player.h"

namespace app {

// The library's version text shown on the loading screen.
constexpr const char* kLibraryVersion = "TESSERAE-LIB 1.00 07/06/12 Update";
constexpr uint32_t kTickLength = 50;    // milliseconds of logic per tick
constexpr uint32_t kFramePacing = 30;   // a drawn frame lasts at least this long
constexpr uint32_t kSamplePeriod = 100; // input sampling
// Alt+S names its files screenshot-0001.png upwards, the first free number.
constexpr int kScreenshotNumbers = 9999;

// What the command line adds to a run.
struct RunControl {
    std::vector<platform::ScriptedInput> scripted;
    int frameLimit = 0;      // 0: none
    bool headless = false;   // sound renders on the clock, to no device
    std::string audioOut;    // host path of the WAV capture, or empty
    std::string soundFont;   // host path, or empty for the standard ones
    std::string screenshot;  // host path of a PNG of the last frame, or empty
    std::string hostPadLibrary;  // the installed pad plug-in, for games without their own
};

// The game frame: display and device, sound, the pad plug-in and the input
// thread, and the main loop with fixed 50 ms logic ticks and paced frames.
// The script host plugs in through the hooks onStart to onEnd.
class G_APP_2 : public G_APP {
public:
    G_APP_2();
    ~G_APP_2() override;

    void initMembers() override;
    void startUp() override;
    void run() override;
    void shutDown() override;
    bool handleMessage(const platform::WindowEvent& event) override;

    // The hooks of the game, called by the main loop.
    virtual void onStart() {}
    virtual void onTick() {}
    virtual void onDraw3D() {}
    virtual void onDraw2D() {}
    virtual void onConfigure() {}
    virtual void onEnd() {}

    // One pass of the main loop: the logic ticks the accumulated time
    // allows, then one drawn frame. True when a frame was drawn.
    bool frameLoop();

    void setRunControl(RunControl control) { runControl = std::move(control); }
    uint8_t colourDepth = 16;
    bool inputLibraryFlag = false;

    graphics::G_D3D* display() { return d3d.get(); }
    const InputState& inputState() const { return input; }
    InputRing& inputRing() { return ring; }
    uint32_t accumulator() const { return tickAccumulator; }
    int drawnFrames() const { return framesDrawn; }

    // Mouse state from window messages, in client pixels.
    struct MouseState {
        int x = 0, y = 0;
        bool left = false, right = false;
    };
    MouseState mouse;
    bool cursorHidden = false;

    // The one camera (its view is the frame's) and the light of mesh
    // drawing; the scripts write the camera.
    graphics::Camera camera;
    graphics::Lighting lighting;

    sound::SoundFunctions* sound() { return soundFunctions.get(); }
    // False when a screenshot was asked for and could not be written.
    bool screenshotWritten() const { return screenshotOk; }
    sound::MidiPlayer* midi() { return midiPlayer.get(); }

    // kExitNormal, or the status of the first failure of the run (see
    // app/exit_status.h).
    int failureStatus() const { return failure; }
    void noteFailure(int status) {
        if (failure == 0) failure = status;
    }

protected:
    // Restarts the measurement of the current pass's logic time, so time
    // spent loading a script file is not added to the accumulator.
    void restartLogicTime();
    void showFailure(const char* text, const char* caption);

    std::unique_ptr<graphics::G_D3D> d3d;
    char baseFolder[260] = {};
    char versionText[60] = {};
    uint32_t drawStart = 0, logicTime = 0, logicStart = 0;
    uint32_t tickAccumulator = 0;
    uint32_t tickClock = 0;

private:
    void startSound();
    void stopSound();
    void startInputThread();
    void stopInputThread();
    void samplerPass();
    // The window keys: full screen and window, and a numbered screenshot of
    // the presented frame in the folder the game's files go to.
    void toggleFullScreen();
    void saveScreenshot();
    void deliverScripted(int pass);
    bool canNeverResume();
    bool readPad(PadReading& reading);

    InputRing ring;
    InputState input;
    std::atomic<uint8_t> inputEnded{1};
    std::thread inputThread;
    std::mutex samplerWakeLock;
    std::condition_variable samplerWake;
    bool samplerStop = false;  // guarded by samplerWakeLock
    int samplerId = 0;  // periodic callback on the virtual clock
    bool inputThreadStarted = false;

    platform::SharedLibrary padLibrary;
    using GetInputFunction = uint8_t (*)(PadReading*);
    GetInputFunction getInput = nullptr;
    std::mutex scriptedPadLock;
    bool scriptedPad = false;
    PadReading scriptedReading;

    // Sound, in the order it is made; released in reverse.
    std::unique_ptr<platform::AudioMixer> mixer;
    platform::AudioCapture capture;
    std::unique_ptr<platform::AudioOutput> audioOutput;
    std::unique_ptr<sound::WavePlayer> wavePlayer;
    std::unique_ptr<sound::MidiPlayer> midiPlayer;
    std::unique_ptr<sound::SoundFunctions> soundFunctions;
    bool soundReport = false;  // the players' report files
    bool screenshotOk = true;

    RunControl runControl;
    size_t nextScripted = 0;
    int framesDrawn = 0;
    int failure = 0;
    bool closeRequested = false;
};

}  // namespace app
