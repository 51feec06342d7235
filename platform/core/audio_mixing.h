// audio_mixing.h -- how many effects at once are kept clean, the same rules on the desktop and in the page.
//
// Three layers keep the sum of the effects clean:
//  - A start of an effect that already started less than kEffectInPhaseMs
//    ago adds nothing: copies started in one frame play in phase, so they
//    would only double the amplitude. A chain that bursts 20 explosions in
//    one frame is heard as one explosion (plus its other effects).
//  - At most kCopiesPerEffect copies of one effect sound together; a further
//    start fades the oldest copy out over kStealFadeMs instead of cutting it.
//  - Effects play at kEffectVolume of full scale, and a limiter at the
//    output scales the sum down whenever it would pass kLimiterCeiling,
//    recovering over kLimiterReleaseSeconds. The limiter makes clipping
//    impossible; the first two layers keep it from having to work hard.
// The SDL backend applies them in platform/sdl/ (sdl_audio_voices.cpp and
// sdl_audio_limiter.cpp); the web backend hands them to the page when it
// opens (web_audio.cpp), which builds its Web Audio graph from them.
#pragma once

constexpr int kEffectInPhaseMs = 8;
constexpr int kCopiesPerEffect = 4;
constexpr int kStealFadeMs = 20;
constexpr double kEffectVolume = 0.75;
constexpr float kLimiterCeiling = 0.97f;
constexpr double kLimiterReleaseSeconds = 0.15;
