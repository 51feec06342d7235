// sound.cpp -- the game's effects and its endlessly looping music.
#include "shell/sound.h"

#include "platform/platform.h"
#include "shell/handlers.h"

#include <cstring>

void sound(const char* filename, int32_t flags)
{
    // The program's folder followed by the name, whose backslashes stand for
    // the path separator. Built in a fixed buffer: effects start in the middle
    // of the frame's passes, where nothing is allocated. A path too long for
    // it plays nothing, as a missing file would.
    char path[4096];
    const char* folder = plat_program_folder();
    size_t folder_length = std::strlen(folder);
    size_t name_length = std::strlen(filename);
    if (folder_length + name_length + 1 > sizeof path)
        return;
    std::memcpy(path, folder, folder_length);
    for (size_t i = 0; i < name_length; ++i)
        path[folder_length + i] = filename[i] == '\\' ? '/' : filename[i];
    path[folder_length + name_length] = '\0';
    plat_play_sound(path, flags);
}

void music_start()
{
    plat_music_set_flag(kMusicSettings[0], false);
    plat_music_set_flag(kMusicSettings[1], true);
    plat_music_set_flag(kMusicSettings[2], false);
    plat_music_set_text(kMusicDeviceType, "Sequencer");
    plat_music_set_text(kMusicCommand, "Open");
    plat_music_set_text(kMusicCommand, "play");
}

void MMControl1_Done()
{
    // The piece has ended: play it again from its beginning.
    plat_music_set_text(kMusicCommand, "close");
    plat_music_set_text(kMusicCommand, "open");
    plat_music_set_text(kMusicCommand, "play");
}
