// music_control.cpp -- MMControl1, the small music control the game drives.
//
// The game writes properties by identifier, as it would to the desktop's
// multimedia control: a device type, commands, and three booleans. Only what
// the game relies on is here: "open" readies the control's file for the
// "Sequencer" device, "play" starts it and returns at once, "close" stops
// and releases it. Commands are matched without regard to case; anything
// else is ignored. Every backend shares this file and differs only in the
// device calls of music_device.h.
#include "platform/platform.h"
#include "platform/core/music_device.h"

#include <cctype>
#include <string>

namespace {

// The control's file-name setting. Its ".\" means the current folder.
constexpr const char* kFileName = ".\\MUSIC4.MID";

std::string device_type;
bool is_open = false;

bool same_text(const std::string& a, const char* b)
{
    std::string::size_type i = 0;
    for (; b[i] != '\0'; ++i) {
        if (i >= a.size() || std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i]))
            return false;
    }
    return i == a.size();
}

std::string file_path()
{
    std::string path = kFileName;
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

void run_command(const std::string& command)
{
    if (same_text(command, "open")) {
        if (is_open)
            music_device_close();
        is_open = same_text(device_type, "Sequencer") && music_device_open(file_path().c_str());
    } else if (same_text(command, "play")) {
        if (is_open)
            music_device_play();
    } else if (same_text(command, "close")) {
        if (is_open)
            music_device_close();
        is_open = false;
    }
}

} // namespace

void plat_music_set_flag(int16_t id, bool value)
{
    // The three kMusicSettings change nothing the game can hear; they are
    // kept only in the log.
    music_device_note_write(id, value ? "True" : "False");
}

void plat_music_set_text(int16_t id, const char* value)
{
    music_device_note_write(id, value);
    if (id == kMusicDeviceType)
        device_type = value;
    else if (id == kMusicCommand)
        run_command(value);
}

void music_control_reset()
{
    device_type.clear();
    is_open = false;
}
