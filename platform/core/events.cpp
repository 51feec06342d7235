// events.cpp -- the queue of window events and the one switch that hands them to the handlers.
#include "platform/core/events.h"

#include "platform/core/recording.h"
#include "shell/handlers.h"

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

void dispatch(const WindowEvent& e)
{
    switch (e.kind) {
    case EventKind::KeyDown: Form_KeyDown(e.code, e.shift); break;
    case EventKind::KeyPress: Form_KeyPress(e.code); break;
    case EventKind::MouseMove: Form_MouseMove(0, e.shift, e.x, e.y); break;
    case EventKind::MouseDown: Form_MouseDown(e.code, e.shift, e.x, e.y); break;
    case EventKind::MusicDone: MMControl1_Done(); break;
    }
}

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

void dispatch_events()
{
    recording_frame_begins();
    while (head < queue.size()) {
        const WindowEvent e = queue[head++];
        if (head == queue.size()) {
            queue.clear();
            head = 0;
        }
        recording_note(e);
        dispatch(e);
    }
}

void forget_events()
{
    queue.clear();
    head = 0;
}
