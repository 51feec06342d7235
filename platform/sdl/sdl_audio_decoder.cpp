// sdl_audio_decoder.cpp -- the effects' decoding thread: reads and converts a checked WAV off the game's thread, and frees sounds no longer wanted.
#include "platform/sdl/sdl_audio_parts.h"
#include "platform/core/wav_header.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

using namespace sdl_audio;

namespace {

// The decoding thread and what it shares with the game's thread. Finished
// jobs are handed back together once the queue is empty, so that effects
// first started in one frame also begin in one frame. The thread also frees
// the sounds of files that changed: giving back megabytes of decoded sound
// costs a millisecond or more.
struct Decoder {
    std::thread thread;
    std::mutex lock;
    std::condition_variable wake;
    std::vector<DecodeJob> queued;   // guarded by `lock`
    std::vector<DecodeJob> finished; // guarded by `lock`
    std::vector<Mix_Chunk*> unused;  // guarded by `lock`
    std::atomic<bool> have_finished{false};
    std::atomic<uint64_t> decoded{0}; // decodings ended, handed back or not
    bool stopping = false; // guarded by `lock`
};

Decoder decoder;

// Runs on the decoding thread: reads the file whole (it was checked, but
// may have changed since), checks it again, and hands it to the mixer,
// which converts it to the output format. The mixer's loader touches
// nothing the audio thread or the game's thread changes.
Mix_Chunk* decode_file(const std::string& path, const FileStamp& stamp)
{
    std::vector<uint8_t> bytes;
    FileStamp read_stamp;
    WavLayout layout;
    if (!read_whole_file(path.c_str(), kMaxEffectFileBytes, bytes, read_stamp) || !same_file(read_stamp, stamp) ||
        !wav_effect_layout(bytes.data(), bytes.size(), &layout))
        return nullptr;
    SDL_RWops* source = SDL_RWFromConstMem(bytes.data(), int(bytes.size()));
    return source != nullptr ? Mix_LoadWAV_RW(source, 1) : nullptr;
}

void decoder_main()
{
    // A batch thread never preempts the thread that wakes it: handing it a
    // file must not hand it the game's core in the middle of a frame.
    sched_param no_priority{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &no_priority);
    std::vector<DecodeJob> done;
    std::unique_lock<std::mutex> hold(decoder.lock);
    for (;;) {
        decoder.wake.wait(hold, [] { return decoder.stopping || !decoder.queued.empty() || !decoder.unused.empty(); });
        if (decoder.stopping)
            break;
        if (!decoder.unused.empty()) {
            std::vector<Mix_Chunk*> unused;
            unused.swap(decoder.unused);
            hold.unlock();
            for (Mix_Chunk* chunk : unused)
                Mix_FreeChunk(chunk); // also stops copies still playing
            hold.lock();
            continue;
        }
        DecodeJob job = std::move(decoder.queued.front());
        decoder.queued.erase(decoder.queued.begin());
        hold.unlock();
        job.chunk = decode_file(job.path, job.stamp);
        decoder.decoded.fetch_add(1, std::memory_order_relaxed);
        done.push_back(std::move(job));
        hold.lock();
        if (decoder.queued.empty()) {
            for (DecodeJob& d : done)
                decoder.finished.push_back(std::move(d));
            done.clear();
            decoder.have_finished.store(true, std::memory_order_release);
        }
    }
    // Closing: what was decoded but not handed back is freed by the closer.
    for (DecodeJob& d : done)
        decoder.finished.push_back(std::move(d));
}

} // namespace

void sdl_audio::decoder_open()
{
    decoder.decoded.store(0);
    try {
        decoder.thread = std::thread(decoder_main);
    } catch (const std::system_error&) {
        // No thread to decode on: effects are refused, the music still plays.
    }
}

bool sdl_audio::decoder_running() { return decoder.thread.joinable(); }

uint64_t sdl_audio::decoder_decoded() { return decoder.decoded.load(std::memory_order_relaxed); }

void sdl_audio::decoder_queue(DecodeJob job)
{
    {
        std::lock_guard<std::mutex> hold(decoder.lock);
        decoder.queued.push_back(std::move(job));
    }
    decoder.wake.notify_one();
}

void sdl_audio::decoder_free(Mix_Chunk* chunk)
{
    {
        std::lock_guard<std::mutex> hold(decoder.lock);
        decoder.unused.push_back(chunk);
    }
    decoder.wake.notify_one();
}

bool sdl_audio::decoder_take_finished(std::vector<DecodeJob>& finished)
{
    if (!decoder.have_finished.load(std::memory_order_acquire))
        return false;
    std::lock_guard<std::mutex> hold(decoder.lock);
    finished.swap(decoder.finished);
    decoder.have_finished.store(false, std::memory_order_relaxed);
    return true;
}

void sdl_audio::decoder_close()
{
    if (!decoder.thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> hold(decoder.lock);
        decoder.stopping = true;
    }
    decoder.wake.notify_one();
    decoder.thread.join();
    for (DecodeJob& job : decoder.finished)
        if (job.chunk != nullptr)
            Mix_FreeChunk(job.chunk);
    for (Mix_Chunk* chunk : decoder.unused)
        Mix_FreeChunk(chunk);
    decoder.queued.clear();
    decoder.finished.clear();
    decoder.unused.clear();
    decoder.have_finished.store(false);
    decoder.stopping = false;
}
