#include "app/g_app_2.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "app/exit_status.h"
#include "model/system_assets.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/null/headless_window.h"
#include "platform/null/null_audio.h"
#include "platform/save_folder.h"
#include "platform/watchdog.h"

namespace app {

namespace {

constexpr const char* kPadLibrary = "input.so";
constexpr const char* kFillTexture = "system\\texure\\fill.bmp";

}  // namespace

G_APP_2::G_APP_2() = default;

G_APP_2::~G_APP_2() {
    stopInputThread();
}

void G_APP_2::initMembers() {
    snprintf(versionText, sizeof versionText, "%s", kLibraryVersion);
    d3d.reset();
    getInput = nullptr;
    mouse = MouseState{};
    cursorHidden = false;
    inputEnded.store(1);
}

void G_APP_2::showFailure(const char* text, const char* caption) {
    noteFailure(kExitHostFailure);
    if (d3d) d3d->showMessage(text, caption);
    else platform::showMessageBox(text, caption, mainWindow.get());
}

void G_APP_2::startUp() {
    snprintf(baseFolder, sizeof baseFolder, "%s", platform::currentDir().c_str());

    d3d = std::make_unique<graphics::G_D3D>();
    d3d->init(colourDepth);
    d3d->setWindow(mainWindow.get());
    d3d->setWindowed(!fullScreen);
    d3d->setSize(requestedWidth, requestedHeight);
    d3d->alphaBlending = 1;
    d3d->setRasterThreads(renderThreads);

    if (mainWindow) mainWindow->setCursorVisible(cursorHidden);

    if (!d3d->createDisplay() || !d3d->isReady()) {
        platform::showMessageBox("DirectDrawの初期化に失敗しました。", "エラー", mainWindow.get());
        noteFailure(kExitHostFailure);
        setRunning(false);
        return;
    }

    // Loading screen.
    d3d->beginFrame();
    d3d->createFont(20, 0, 400);
    d3d->drawText(-1, {0, 0, 640, 480}, "-Now Loading-", 0xFFFFFF);
    d3d->createFont(14, 0, 400);
    int length = int(strlen(versionText));
    d3d->drawText(-1, {640 - 7 * length, 460, 640, 480}, versionText, 0xFFFFFF);
    d3d->present(true);

    if (d3d->device()) d3d->device()->setTransform(render::Transform::Projection, camera.projection());
    // The fill texture and every texture after it are named from the game
    // folder until a model or field names its own.
    d3d->textures().setTextureFolder("");

    startSound();

    // A game that asks for the pad and brings no plug-in of its own gets
    // the one installed with the program.
    if (inputLibraryFlag && (padLibrary.open(kPadLibrary) ||
                             (!platform::fileExists(kPadLibrary) && !runControl.hostPadLibrary.empty() &&
                              platform::fileExists(runControl.hostPadLibrary) &&
                              padLibrary.open(runControl.hostPadLibrary)))) {
        getInput = reinterpret_cast<GetInputFunction>(padLibrary.symbol("GetInput"));
        if (!getInput) fprintf(stderr, "tesserae: the pad plug-in has no GetInput function; the pad is off\n");
    } else if (inputLibraryFlag && !padLibrary.error().empty()) {
        fprintf(stderr, "tesserae: cannot load the pad plug-in (%s); the pad is off\n", padLibrary.error().c_str());
    }
    startInputThread();

    KeyMapping mapping;
    mapping.load("input.dat");
    ring.setMapping(mapping);
}

void G_APP_2::startSound() {
    platform::Clock& clock = platform::clock();
    mixer = std::make_unique<platform::AudioMixer>();
    if (!runControl.audioOut.empty()) {
        if (capture.open(runControl.audioOut, mixer->rate())) {
            mixer->setCapture(&capture);
        } else {
            fprintf(stderr, "tesserae: cannot write the sound capture '%s': %s\n", runControl.audioOut.c_str(),
                    strerror(errno));
            noteFailure(kExitHostFailure);
        }
    }
    // A run on the virtual clock renders sound on that clock, so its
    // capture repeats exactly; without a device the clock drives it too.
    if (!runControl.headless && !clock.isVirtual()) {
        std::string error;
        audioOutput = platform::createSdlAudioOutput(*mixer, error);
        if (!audioOutput) fprintf(stderr, "tesserae: no sound device (%s); sound is off\n", error.c_str());
    }
    if (!audioOutput) audioOutput = std::make_unique<platform::NullAudioOutput>(*mixer, clock);

    wavePlayer = std::make_unique<sound::WavePlayer>(soundReport);
    wavePlayer->setWaveFolder(std::string(baseFolder) + "wave\\");
    wavePlayer->initialize(mixer.get());

    midiPlayer = std::make_unique<sound::MidiPlayer>(soundReport);
    // The standard SoundFont loads while the game starts, on the real
    // clock; a SoundFont the user names, and every run on the virtual
    // clock, load before the game starts, so their failures and their
    // sound are known at once.
    bool loadInBackground = runControl.soundFont.empty() && !clock.isVirtual();
    if (!midiPlayer->create(mixer.get(), std::string(baseFolder) + "midi", runControl.soundFont, loadInBackground)) {
        d3d->showMessage(midiPlayer->errorText().c_str(), "DirectMusic Error!");
        // Without --soundfont the game runs on without music, as it always
        // did; a SoundFont the user named and cannot be used is an error.
        if (!runControl.soundFont.empty()) noteFailure(kExitHostFailure);
    }
    soundFunctions = std::make_unique<sound::SoundFunctions>(wavePlayer.get(), midiPlayer.get());
}

void G_APP_2::stopSound() {
    soundFunctions.reset();
    wavePlayer.reset();
    midiPlayer.reset();
    audioOutput.reset();
    if (mixer) mixer->setCapture(nullptr);
    if (capture.isOpen() && !capture.close()) {
        fprintf(stderr, "tesserae: the sound capture '%s' is incomplete\n", runControl.audioOut.c_str());
        noteFailure(kExitHostFailure);
    }
    mixer.reset();
}

bool G_APP_2::readPad(PadReading& reading) {
    {
        std::lock_guard guard(scriptedPadLock);
        if (scriptedPad) {
            reading = scriptedReading;
            return true;
        }
    }
    return getInput && getInput(&reading) != 0;
}

void G_APP_2::samplerPass() {
    if (!inputEnded.load()) ring.sample(platform::clock().now());
}

void G_APP_2::startInputThread() {
    bool hasScriptedPad = false;
    for (const platform::ScriptedInput& s : runControl.scripted) {
        if (s.kind == platform::ScriptedInput::Kind::Pad) hasScriptedPad = true;
    }
    if (getInput || hasScriptedPad) {
        ring.setPadSource([this](PadReading& reading) { return readPad(reading); });
    }
    platform::Clock& clock = platform::clock();
    if (clock.isVirtual()) {
        // Samples at exact virtual instants, on the thread moving the clock.
        samplerId = static_cast<platform::VirtualClock&>(clock).addPeriodic(
            kSamplePeriod, [this] { samplerPass(); });
    } else {
        try {
            // The pause between samples ends early when the run stops, so
            // shut-down does not wait out a sample period.
            samplerStop = false;
            inputThread = std::thread([this] {
                while (true) {
                    samplerPass();
                    bool stop = !isRunning();
                    std::unique_lock lock(samplerWakeLock);
                    if (samplerWake.wait_for(lock, std::chrono::milliseconds(kSamplePeriod),
                                             [this] { return samplerStop; }))
                        break;
                    if (stop) break;
                }
            });
        } catch (const std::system_error&) {
            showFailure("スレッドが生成できませんでした。", "初期化失敗");
            setRunning(false);
            return;
        }
    }
    inputThreadStarted = true;
}

void G_APP_2::stopInputThread() {
    if (!inputThreadStarted) return;
    if (inputThread.joinable()) {
        {
            std::lock_guard guard(samplerWakeLock);
            samplerStop = true;
        }
        samplerWake.notify_all();
        inputThread.join();
    }
    if (samplerId) {
        platform::Clock& clock = platform::clock();
        if (clock.isVirtual()) static_cast<platform::VirtualClock&>(clock).removePeriodic(samplerId);
        samplerId = 0;
    }
    inputThreadStarted = false;
}

void G_APP_2::run() {
    if (!isRunning()) return;
    platform::Clock& clock = platform::clock();
    // The fill texture is optional (meshes then skip the light pass), so
    // its absence is not reported as a failed image. A game without its
    // own light ramp uses the host's.
    const std::string fill = model::systemAssetPath(kFillTexture);
    lighting.fillTexture = platform::fileExists(fill) ? d3d->textures().findOrLoadTexture(fill.c_str()) : -1;
    onConfigure();
    tickAccumulator = 20;
    tickClock = clock.now();
    {
        std::lock_guard guard(ring.lock());
        ring.sampleLocked(clock.now());
        ring.reset();
        tickClock = clock.now();
    }
    inputEnded.store(0);
    onStart();
    int pass = 0;
    while (isRunning()) {
        deliverScripted(++pass);
        // A signal or the time limit ends the run as the close box does.
        if (platform::Watchdog::stopRequested() && !closeRequested && mainWindow) {
            closeRequested = true;
            mainWindow->requestClose();
            continue;
        }
        if (!mainWindow || mainWindow->isMinimised() || !mainWindow->isActive()) {
            if (canNeverResume()) {
                fputs("tesserae: the headless window is minimised or inactive and no scripted event is "
                      "left to bring it back; ending the run\n",
                      stderr);
                setRunning(false);
                break;
            }
            pumpMessages();
            continue;
        }
        if (frameLoop() && runControl.frameLimit > 0 && ++framesDrawn >= runControl.frameLimit)
            setRunning(false);
    }
    inputEnded.store(1);
    if (midiPlayer) midiPlayer->stopMidi();
    onEnd();
}

void G_APP_2::deliverScripted(int pass) {
    auto* headless = dynamic_cast<platform::HeadlessWindow*>(mainWindow.get());
    while (nextScripted < runControl.scripted.size() && runControl.scripted[nextScripted].frame <= pass) {
        const platform::ScriptedInput& s = runControl.scripted[nextScripted++];
        if (s.kind == platform::ScriptedInput::Kind::Pad) {
            std::lock_guard guard(scriptedPadLock);
            scriptedPad = true;
            scriptedReading.x = s.padX;
            scriptedReading.y = s.padY;
            memcpy(scriptedReading.buttons, s.padButtons, sizeof scriptedReading.buttons);
        } else if (headless) {
            headless->post(s.event);
        } else if (mainWindow) {
            // A real window takes keys, the mouse and close; mouse buttons
            // press where the mouse is.
            platform::WindowEvent event = s.event;
            if (event.type == platform::EventType::MouseDown || event.type == platform::EventType::MouseUp) {
                event.x = uint16_t(mouse.x);
                event.y = uint16_t(mouse.y);
            }
            mainWindow->deliver(event);
        }
    }
}

// A paused headless window resumes only through a scripted event; with
// none left to come, the run would wait for ever.
bool G_APP_2::canNeverResume() {
    auto* headless = dynamic_cast<platform::HeadlessWindow*>(mainWindow.get());
    return headless && !headless->hasPendingEvents() && nextScripted >= runControl.scripted.size();
}

void G_APP_2::restartLogicTime() {
    logicStart = platform::clock().now();
}

bool G_APP_2::frameLoop() {
    platform::Clock& clock = platform::clock();
    logicStart = clock.now();
    {
        std::lock_guard guard(ring.lock());
        int snapshot = ring.writeIndex();
        while (tickAccumulator >= kTickLength) {
            ring.fillState(input);
            onTick();
            ring.advanceAfterTick(tickClock, snapshot);
            tickAccumulator -= kTickLength;
            tickClock += kTickLength;
            if (midiPlayer) midiPlayer->updateFade();
        }
        ring.endLogicPhase(snapshot);
        tickClock = clock.now();
    }
    logicTime = clock.now() - logicStart;
    if (!isRunning()) return false;
    bool drawn = false;
    if (d3d->beginFrame()) {
        drawStart = clock.now();
        d3d->beginScene();
        // A view that cannot be built leaves the previous one.
        camera.updateView();
        if (d3d->device()) d3d->device()->setTransform(render::Transform::View, camera.view());
        onDraw3D();
        d3d->endScene();
        onDraw2D();
        d3d->present(true);
        drawn = true;
        pumpMessages();
        while (clock.now() - logicTime - drawStart < kFramePacing) {
            if (!pumpMessages()) break;
        }
        tickAccumulator += clock.now() - drawStart;
    }
    tickAccumulator += logicTime;
    return drawn;
}

void G_APP_2::shutDown() {
    if (mainWindow) mainWindow->show(false);
    pumpMessages();
    platform::removeFile(std::string(baseFolder) + "wave\\temp.wav");
    platform::removeFile(std::string(baseFolder) + "midi\\temp.mid");
    setRunning(false);
    stopInputThread();
    // The back buffer still holds the frame presented last.
    if (!runControl.screenshot.empty()) screenshotOk = d3d && d3d->writeScreenshot(runControl.screenshot);
    if (d3d) d3d->releaseDisplay();
    d3d.reset();
    stopSound();
    getInput = nullptr;
    padLibrary.close();
}

void G_APP_2::toggleFullScreen() {
    if (!mainWindow) return;
    mainWindow->setFullScreen(!mainWindow->isFullScreen());
    fullScreen = mainWindow->isFullScreen();
    if (d3d) d3d->setWindowed(!fullScreen);
}

void G_APP_2::saveScreenshot() {
    // Events are handled after present and before the next frame begins,
    // so the back buffer holds the frame on the screen.
    const std::string folder = platform::writeFolder();
    for (int number = 1; number <= kScreenshotNumbers; ++number) {
        char name[32];
        snprintf(name, sizeof name, "screenshot-%04d.png", number);
        const std::string path = folder + name;
        if (platform::fileExists(path)) continue;
        if (d3d && d3d->writeScreenshot(path)) fprintf(stderr, "tesserae: screenshot saved as '%s'\n", path.c_str());
        else fprintf(stderr, "tesserae: cannot write the screenshot '%s'\n", path.c_str());
        return;
    }
    fprintf(stderr, "tesserae: no screenshot written: '%s' holds screenshot-%04d.png already\n", folder.c_str(),
            kScreenshotNumbers);
}

bool G_APP_2::handleMessage(const platform::WindowEvent& event) {
    using platform::EventType;
    switch (event.type) {
        case EventType::Destroy:
            setRunning(false);
            return true;
        case EventType::Paint:
            if (d3d && d3d->hasDisplay() && d3d->isWindowed()) d3d->present(true);
            return true;
        case EventType::Activate:
        case EventType::Deactivate: return true;
        case EventType::Command:
            if (event.command == platform::HostCommand::ToggleFullScreen) toggleFullScreen();
            if (event.command == platform::HostCommand::Screenshot) saveScreenshot();
            return true;
        case EventType::MouseMove:
            mouse.x = event.x;
            mouse.y = event.y;
            if (!cursorHidden && mainWindow) {
                mainWindow->setCursorVisible(false);
                cursorHidden = true;
            }
            return true;
        case EventType::MouseDown:
            mouse.x = event.x;
            mouse.y = event.y;
            if (event.button == platform::MouseButton::Left) mouse.left = true;
            if (event.button == platform::MouseButton::Right) mouse.right = true;
            return true;
        case EventType::MouseUp:
            if (event.button == platform::MouseButton::Left) mouse.left = false;
            if (event.button == platform::MouseButton::Right) mouse.right = false;
            mouse.x = event.x;
            mouse.y = event.y;
            return true;
        default: return false;
    }
}

}  // namespace app
