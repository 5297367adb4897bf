#include <SDL.h>
#include <dlfcn.h>

#include "platform/audio_mixer.h"
#include "platform/audio_output.h"

namespace platform {

namespace {

// ALSA prints its own lines ("ALSA lib ... cannot find card") while SDL
// probes for a device. Whether there is one is said once, by the program;
// the library's handler is silenced through the copy SDL itself loads.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

void silenceAlsa() {
    void* alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD);
    if (!alsa) alsa = dlopen("libasound.so.2", RTLD_LAZY);
    if (!alsa) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"))) set(&quietAlsa);
    // The library stays loaded: SDL uses it, and the handler lives in it.
}

class SdlAudioOutput final : public AudioOutput {
public:
    explicit SdlAudioOutput(AudioMixer& audioMixer) : mixer(audioMixer) {}

    ~SdlAudioOutput() override {
        if (device) SDL_CloseAudioDevice(device);  // waits for the callback to return
        if (subsystemUp) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    bool open(std::string& error) {
        silenceAlsa();
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error = SDL_GetError();
            return false;
        }
        subsystemUp = true;
        SDL_AudioSpec want{};
        want.freq = mixer.rate();
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 1024;
        want.callback = &SdlAudioOutput::callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts to whatever the device wants.
        device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (!device) {
            error = SDL_GetError();
            return false;
        }
        SDL_PauseAudioDevice(device, 0);
        return true;
    }

    bool isHeadless() const override { return false; }

private:
    static void callback(void* userdata, Uint8* stream, int length) {
        auto* self = static_cast<SdlAudioOutput*>(userdata);
        self->mixer.render(reinterpret_cast<int16_t*>(stream), length / 4);
    }

    AudioMixer& mixer;
    SDL_AudioDeviceID device = 0;
    bool subsystemUp = false;
};

}  // namespace

std::unique_ptr<AudioOutput> createSdlAudioOutput(AudioMixer& mixer, std::string& error) {
    auto output = std::make_unique<SdlAudioOutput>(mixer);
    if (!output->open(error)) return nullptr;
    return output;
}

}  // namespace platform
