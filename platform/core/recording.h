// recording.h -- the game being kept as it is played, and a kept game being watched.
//
// While a game is kept, every event the handlers receive is appended, with
// its frame, to a list in memory whose room is made at the start; nothing is
// written while the game runs. The frame is counted here: one frame for each
// hand-over of the queue (begin_event_handover), which each frame makes once.
//
// While a kept game is watched, the player's input is not the game's: what a
// backend posts is dropped, except Esc, which asks the watching to stop. The
// kept events reach the queue through recording_post instead.
#pragma once

#include "platform/core/replay_file.h"

#include <cstdint>
#include <string>

// Starts keeping the game about to be played: its seed and client size.
// Called by the game after start-up, before its first frame.
void recording_start(uint32_t seed, int width, int height);

// Whether a game is being kept, and the frames it has run.
bool recording_on();
long recording_frames();

// The kept game as replay text, ended with the frames run and `digest`;
// empty (and `why` says so) when the game grew past what a replay may hold.
// Stops the keeping.
std::string recording_finish(uint64_t digest, std::string& why);

// Called by begin_event_handover, as a frame's hand-over begins, and by
// take_event for each event as it is handed to its handler.
void recording_frame_begins();
void recording_note(const WindowEvent& e);

// Watching a kept game: the player's events are dropped from now on.
void watching_start();
bool watching_on();
// Whether the player asked to stop watching (Esc, or closing the window).
bool watching_stopped();

// Called by post_event: true when the event must not reach the queue.
bool watching_drops(const WindowEvent& e);

// Queues a kept event for the next hand-over, past the player's filter.
void recording_post(const WindowEvent& e);

// Back to neither keeping nor watching (a new game in the same process).
void recording_reset();
