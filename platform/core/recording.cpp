// recording.cpp -- keeps the events of the game being played; filters the player's while a kept game is watched.
#include "platform/core/recording.h"

#include <vector>

namespace {

// Room for this many events is made when a game starts: about twenty
// minutes of play with the mouse always moving. A longer game grows the list
// by doubling, rarely.
constexpr size_t kRoomAtStart = size_t(1) << 16;

// Past the reader's cap a replay could not be read back: the keeping stops.
// The header and end take the few lines left.
constexpr size_t kMostEvents = size_t(kReplayMaxLines) - 8;

bool keeping = false;
bool too_long = false;
ReplayHead head;
long frames = 0;
std::vector<TimedEvent> kept;

bool watching = false;
bool stopped = false;
bool posting_kept = false;

} // namespace

void recording_start(uint32_t seed, int width, int height)
{
    head = ReplayHead{};
    head.seed = seed;
    head.width = width;
    head.height = height;
    frames = 0;
    too_long = false;
    kept.clear();
    kept.reserve(kRoomAtStart);
    keeping = true;
}

bool recording_on() { return keeping; }
long recording_frames() { return frames; }

void recording_frame_begins()
{
    if (keeping)
        ++frames;
}

void recording_note(const WindowEvent& e)
{
    if (!keeping)
        return;
    if (kept.size() >= kMostEvents) {
        too_long = true;
        return;
    }
    kept.push_back(TimedEvent{frames, e});
}

std::string recording_finish(uint64_t digest, std::string& why)
{
    keeping = false;
    std::string text;
    if (too_long) {
        why = "more than " + std::to_string(kMostEvents) + " events";
        return text;
    }
    text.reserve(kept.size() * 24 + 256);
    text += replay_head_text(head);
    for (const TimedEvent& t : kept) {
        text += write_event_line(t.frame, t.event);
        text += '\n';
    }
    text += replay_end_text(frames, digest);
    if (text.size() > kReplayMaxBytes) {
        why = "larger than " + std::to_string(kReplayMaxBytes >> 20) + " MiB";
        text.clear();
    }
    return text;
}

void watching_start()
{
    watching = true;
    stopped = false;
}

bool watching_on() { return watching; }
bool watching_stopped() { return stopped; }

bool watching_drops(const WindowEvent& e)
{
    if (!watching || posting_kept)
        return false;
    if (e.kind == EventKind::KeyPress && e.code == kKeyEsc)
        stopped = true;
    return true;
}

void recording_post(const WindowEvent& e)
{
    posting_kept = true;
    post_event(e);
    posting_kept = false;
}

void recording_reset()
{
    keeping = false;
    too_long = false;
    frames = 0;
    kept.clear();
    watching = false;
    stopped = false;
}
