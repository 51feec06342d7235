// events.cpp -- the queue of window events: the backends post into it, the game takes from it.
#include "platform/core/events.h"

#include "platform/core/recording.h"

#include <cstddef>
#include <vector>

namespace {

// Events from `head` on wait; the vector is emptied, never shrunk, once
// they have all been handed over.
std::vector<WindowEvent> queue = [] {
    std::vector<WindowEvent> q;
    q.reserve(4096);
    return q;
}();
size_t head = 0;

} // namespace

void post_event(const WindowEvent& e)
{
    if (!watching_drops(e))
        queue.push_back(e);
}

void post_key(int16_t code, int16_t shift)
{
    post_event(key_down(code, shift));
    if (code == kKeyEsc)
        post_event(key_press(kKeyEsc));
}

int pending_events() { return int(queue.size() - head); }

WindowEvent peek_event(int index) { return queue[head + size_t(index)]; }

void begin_event_handover() { recording_frame_begins(); }

bool take_event(WindowEvent* e)
{
    if (head == queue.size())
        return false;
    *e = queue[head++];
    if (head == queue.size()) {
        queue.clear();
        head = 0;
    }
    recording_note(*e);
    return true;
}

void forget_events()
{
    queue.clear();
    head = 0;
}
