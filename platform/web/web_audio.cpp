// web_audio.cpp -- effects and music in a web page: the game's audio calls as page URLs.
//
// The playing itself is Web Audio in web_audio.js. The music is not MIDI
// here: the build renders MUSIC4.MID into a compressed file of the same name
// and PELMARIC_WEB_MUSIC_EXTENSION, and the control's "open" loads that.
#include "platform/core/audio_mixing.h"
#include "platform/platform.h"
#include "platform/core/music_device.h"
#include "platform/core/wav_header.h"
#include "platform/web/web_page.h"

#include <emscripten.h>

#include <cstring>
#include <string>

namespace {

// Enough of a file for its RIFF header and the chunks before the sound: the
// game's own effects have 36 bytes of them. A file whose sound starts later
// than this is passed over.
constexpr int kEffectHeadBytes = 64 * 1024;
uint8_t effect_head[kEffectHeadBytes];
int effect_head_bytes = 0;

bool read_effect_head(void*, uint64_t offset, uint8_t* out, size_t size)
{
    if (offset + size > uint64_t(effect_head_bytes))
        return false;
    std::memcpy(out, effect_head + offset, size);
    return true;
}

} // namespace

extern "C" EMSCRIPTEN_KEEPALIVE uint8_t* web_effect_head() { return effect_head; }
extern "C" EMSCRIPTEN_KEEPALIVE int web_effect_head_size() { return kEffectHeadBytes; }
extern "C" EMSCRIPTEN_KEEPALIVE double web_effect_most_bytes() { return double(kMaxEffectFileBytes); }

extern "C" EMSCRIPTEN_KEEPALIVE int web_effect_acceptable(double file_bytes, int head_bytes)
{
    effect_head_bytes = head_bytes;
    WavLayout layout;
    return wav_effect_layout(uint64_t(file_bytes), WavReader{read_effect_head, nullptr}, &layout) ? 1 : 0;
}

void web_audio_open()
{
    web_audio_start(kEffectInPhaseMs, kCopiesPerEffect, kStealFadeMs, kEffectVolume, kLimiterCeiling,
                    kLimiterReleaseSeconds);
}

void plat_play_sound(const char* path, int32_t /*flags: always asynchronous here*/) { web_audio_effect(path); }

void music_device_note_write(int16_t, const char*) {}

// The file may still be on its way when "play" arrives: the page starts it
// once it is decoded. A missing file never plays, so it never ends either,
// as a file that cannot be opened on the desktop.
bool music_device_open(const char* path)
{
    std::string url = path;
    const std::string::size_type slash = url.rfind('/');
    const std::string::size_type dot = url.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        url.erase(dot);
    url += "." PELMARIC_WEB_MUSIC_EXTENSION;
    web_audio_music_load(url.c_str());
    return true;
}

void music_device_play() { web_audio_music_play(); }

void music_device_close() { web_audio_music_stop(); }
