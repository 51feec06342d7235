// sdl_audio.h -- the audio half of the SDL backend, as the video half sees it.
#pragma once

// Opens the audio device and the mixer. Called once by plat_open_window after
// SDL's video is up. With no audio device the game runs silent.
void sdl_audio_open();

// Posts music_done() when the playing piece has reached its end. Called by
// plat_process_events on the game's own thread, once per call.
void sdl_audio_poll();

// Stops all sound and closes the device. Called just before the process ends.
void sdl_audio_close();
