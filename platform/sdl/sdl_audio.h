// sdl_audio.h -- the SDL backend's audio, as its window files see it.
#pragma once

// Opens the audio device and the mixer. Called once by plat_open_window after
// SDL's video is up. With no audio device the game runs silent.
void sdl_audio_open();

// Posts music_done() when the playing piece has reached its end. Called by
// plat_process_events on the game's own thread, once per call.
void sdl_audio_poll();

// Stops all sound and closes the device. Called just before the process ends.
void sdl_audio_close();

// Sound off and on (M): music and effects together, faded over a few
// milliseconds so that nothing clicks. The game's audio calls go on as
// ever; only the output is silent. Kept when the device is missing.
void sdl_audio_switch_sound();
bool sdl_audio_sound_on();

// A pause (true) fades the sound out and stops the music and every effect
// where they are, and the clock the music's end is heard by; false fades
// them back in from there.
void sdl_audio_hold(bool held);
