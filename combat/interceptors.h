// interceptors.h -- the player's interceptors in flight.
//
// They are launched by Form_KeyDown (shell/handlers.h), defined beside the
// shot pass in interceptors.cpp.
#pragma once

// Moves every interceptor 5 pixels, drops a trail particle behind each, and
// explodes those within one step of their aim point. Frame loop step.
void shot_pass();

// Removes the interceptors that have exploded. Frame loop step.
void shot_compaction();
