// dispatch.cpp -- hands the window's queued events to the handlers, once a frame.
#include "platform/core/events.h"
#include "shell/handlers.h"

void dispatch_events()
{
    begin_event_handover();
    WindowEvent e;
    while (take_event(&e)) {
        switch (e.kind) {
        case EventKind::KeyDown: Form_KeyDown(e.code, e.shift); break;
        case EventKind::KeyPress: Form_KeyPress(e.code); break;
        case EventKind::MouseMove: Form_MouseMove(0, e.shift, e.x, e.y); break;
        case EventKind::MouseDown: Form_MouseDown(e.code, e.shift, e.x, e.y); break;
        case EventKind::MusicDone: MMControl1_Done(); break;
        }
    }
}
