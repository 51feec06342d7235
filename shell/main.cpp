// main.cpp -- the real game: the SDL platform and the frame loop.
#include "shell/game_loop.h"

int main()
{
    Form_Load();
}
