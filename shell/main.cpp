// main.cpp -- the real game: the SDL platform and the frame loop, or --help and --version.
#include "shell/game_loop.h"

#include <cstdio>
#include <cstring>

namespace {

const char* kHelp =
    "Usage: pelmaric [--help | --version]\n"
    "Pelmaric, an arcade game of city defence, in one window.\n"
    "Aim with the mouse; A, S and D launch interceptors from the left, centre\n"
    "and right; Esc ends the game; F11 or Alt+Enter switches fullscreen.\n"
    "P or Pause pauses and plays on (so does a click while paused); M turns\n"
    "the sound off and on. The game pauses by itself when its window loses\n"
    "the focus or is minimised.\n"
    "A game pad aims with its left stick or d-pad, launches with West, South\n"
    "and East (or the shoulders), pauses with Start (Start or South plays on),\n"
    "and ends the game with Back and Start.\n"
    "The sound effects are read from the program's folder, the music\n"
    "MUSIC4.MID from the current folder.\n"
    "See pelmaric(6).\n";

} // namespace

// The game takes no command line for play. --help and --version are answered
// before anything is opened, so they work with no display and no sound card;
// any other argument is passed over and the game starts as always.
int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("pelmaric %s\n", PELMARIC_VERSION);
            return 0;
        }
    }
    Form_Load();
}
