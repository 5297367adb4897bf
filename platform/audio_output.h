// platform/audio_output.h
#pragma once
#include <memory>
#include <string>

namespace platform {

class AudioMixer;

// Pulls the mixer's frames and sends them somewhere: the sound device, or
// nowhere at the pace of the game's clock. The mixer must outlive it.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    virtual bool isHeadless() const = 0;
};

// The sound device through SDL, 16-bit stereo at the mixer's rate (SDL
// converts when the device wants another format). Null, with the reason
// in `error`, when no device can be opened. Linked from platform_sdl.
std::unique_ptr<AudioOutput> createSdlAudioOutput(AudioMixer& mixer, std::string& error);

}  // namespace platform
