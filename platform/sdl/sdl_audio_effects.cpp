// sdl_audio_effects.cpp -- the effect cache: each WAV looked up at every start and checked by its size and header before it is decoded.
//
// Effects are looked up each time they are started, so that a file added,
// rewritten or removed while the game runs is heard at its next start, and
// no file can stall a frame: the game's thread reads only a header, and the
// decoding thread (sdl_audio_decoder.cpp) reads and converts the rest.
#include "platform/platform.h"
#include "platform/sdl/sdl_audio_parts.h"
#include "platform/core/wav_header.h"

#include <unistd.h>

#include <algorithm>
#include <string>

using namespace sdl_audio;

namespace {

// One effect file as last looked at. `chunk` is null while the version in
// `stamp` is being decoded, and when it was refused (too big, a header out
// of bounds, not a sound): then it plays nothing until the file changes.
struct Effect {
    std::string path;
    FileStamp stamp;
    bool checked = false;  // `stamp` names a version that was checked
    bool decoding = false; // that version is with the decoding thread
    Mix_Chunk* chunk = nullptr;
    uint64_t last_start = 0;
    uint64_t pending_start = 0; // asked for while it or another was decoding; 0: none
};

std::vector<Effect> effects;

// The effect kept for `path`, or -1 the first time the path is played. The
// game has a handful of effects, so a walk through them beats hashing.
int find_effect(const char* path)
{
    for (size_t i = 0; i < effects.size(); ++i)
        if (effects[i].path == path)
            return int(i);
    return -1;
}

// Reads the header of `effect`'s file as `st` found it, through `fd`, and
// queues its decoding when the header is sound. Otherwise the effect is left
// refused until the file changes: only the header was read.
void check_and_queue(Effect& effect, int index, int fd, const struct stat& st, uint64_t now)
{
    if (effect.chunk != nullptr)
        decoder_free(effect.chunk);
    effect.chunk = nullptr;
    effect.stamp = stamp_of(st);
    effect.checked = true;

    struct Source {
        int fd;
        uint64_t* counted;
    } source{fd, &audio_stats.effect_header_bytes};
    auto read_at = [](void* context, uint64_t offset, uint8_t* out, size_t size) {
        Source& s = *static_cast<Source*>(context);
        ssize_t got = pread(s.fd, out, size, off_t(offset));
        if (got > 0)
            *s.counted += uint64_t(got);
        return got == ssize_t(size);
    };
    WavLayout layout;
    if (!decoder_running() || !wav_effect_layout(uint64_t(st.st_size), WavReader{read_at, &source}, &layout)) {
        ++audio_stats.effect_refusals;
        return;
    }
    effect.decoding = true;
    effect.pending_start = now;
    decoder_queue(DecodeJob{index, effect.path, effect.stamp, nullptr});
}

} // namespace

void sdl_audio::effects_collect_decoded()
{
    std::vector<DecodeJob> finished;
    if (!decoder_take_finished(finished))
        return;
    for (DecodeJob& job : finished) {
        Effect& effect = effects[size_t(job.effect)];
        effect.decoding = false;
        effect.chunk = job.chunk;
        ++audio_stats.effect_decodes;
    }
    // Effects asked for in one frame begin in one frame: none starts while
    // another is still decoding, whichever decoding the thread ended first.
    if (effects_decoding() != 0)
        return;
    uint64_t now = now_ns();
    for (size_t i = 0; i < effects.size(); ++i) {
        Effect& effect = effects[i];
        if (effect.chunk != nullptr && effect.pending_start != 0)
            voice_start(int(i), effect.chunk, now, effect.last_start);
        effect.pending_start = 0;
    }
}

uint64_t sdl_audio::effects_decoding()
{
    return uint64_t(std::count_if(effects.begin(), effects.end(), [](const Effect& e) { return e.decoding; }));
}

void sdl_audio::effects_close()
{
    decoder_close();
    for (Effect& effect : effects)
        if (effect.chunk != nullptr)
            Mix_FreeChunk(effect.chunk);
    effects.clear();
}

// ---- platform.h ------------------------------------------------------------------

void plat_play_sound(const char* path, int32_t flags)
{
    (void)flags; // every effect is asynchronous here
    if (!audio_ready || path == nullptr)
        return;
    // One stat() per start keeps the lookup live: a file added, rewritten or
    // removed while the game runs is seen at its next start.
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return;
    int index = find_effect(path);
    if (index < 0) {
        effects.emplace_back();
        effects.back().path = path;
        index = int(effects.size()) - 1;
    }
    Effect& effect = effects[size_t(index)];
    uint64_t now = now_ns();
    if (effect.decoding || effect.pending_start != 0) {
        // Starts while it decodes, or waits for others of its frame to be
        // decoded, are one start, made when all are ready. A change of the
        // file meanwhile is seen at the first start after.
        if (effect.pending_start == 0)
            effect.pending_start = now;
        return;
    }
    if (!effect.checked || !same_file(effect.stamp, stamp_of(st))) {
        int fd = open_regular(path, st);
        if (fd < 0)
            return;
        check_and_queue(effect, index, fd, st, now);
        close(fd);
        return;
    }
    if (effect.chunk != nullptr)
        voice_start(index, effect.chunk, now, effect.last_start);
}
