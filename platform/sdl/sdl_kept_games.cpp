// sdl_kept_games.cpp -- kept games as files in the player's state folder; a watched game's verdict on stdout.
//
// One file a game, $XDG_STATE_HOME/pelmaric/YYYY-MM-DD_HH-MM-SS.replay
// (~/.local/state/pelmaric/ when XDG_STATE_HOME is unset), the last 20
// kept. A file is written whole or not at all: first to a temporary file
// beside it, then renamed into place, never over another game.
#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr size_t kKeptGames = 20;
constexpr const char* kSuffix = ".replay";

// Where the games go, "" when neither variable says. A relative
// XDG_STATE_HOME is not to be used, by the XDG rules.
std::string kept_folder()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/')
        return std::string(state) + "/pelmaric";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return std::string(home) + "/.local/state/pelmaric";
    return "";
}

// Makes `path` and every missing folder above it.
bool make_folders(const std::string& path)
{
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/')
            continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

bool write_whole(int fd, const char* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

bool is_kept_game(const char* name)
{
    const size_t length = std::strlen(name), suffix = std::strlen(kSuffix);
    return name[0] != '.' && length > suffix && std::strcmp(name + length - suffix, kSuffix) == 0;
}

// Removes the oldest games beyond the last kKeptGames. Their names are their
// dates, so name order is age order.
void forget_oldest(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return;
    std::vector<std::string> games;
    while (const dirent* entry = readdir(dir))
        if (is_kept_game(entry->d_name))
            games.push_back(entry->d_name);
    closedir(dir);
    std::sort(games.begin(), games.end());
    for (size_t i = 0; i + kKeptGames < games.size(); ++i)
        unlink((folder + "/" + games[i]).c_str());
}

// Puts the written `temporary` in place as `folder`/`stem`.replay, or with
// _2 to _9 after the stem when another game took the name in the same second.
bool put_in_place(const std::string& temporary, const std::string& folder, const std::string& stem)
{
    for (int n = 1; n <= 9; ++n) {
        const std::string name = folder + "/" + stem + (n > 1 ? "_" + std::to_string(n) : "") + kSuffix;
        // A hard link never replaces a file; the temporary name then goes.
        if (link(temporary.c_str(), name.c_str()) == 0) {
            unlink(temporary.c_str());
            return true;
        }
        if (errno == EEXIST)
            continue;
        // A file system without hard links: a rename, once the name is free.
        struct stat st;
        if (lstat(name.c_str(), &st) == 0)
            continue;
        return rename(temporary.c_str(), name.c_str()) == 0;
    }
    errno = EEXIST;
    return false;
}

} // namespace

void plat_keep_game(const char* text, size_t size)
{
    const std::string folder = kept_folder();
    if (folder.empty()) {
        std::fputs("pelmaric: this game cannot be kept: neither XDG_STATE_HOME nor HOME is set\n", stderr);
        return;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char stem[32] = "game";
    if (localtime_r(&now, &local) != nullptr)
        std::strftime(stem, sizeof stem, "%Y-%m-%d_%H-%M-%S", &local);
    const std::string temporary = folder + "/." + stem + "." + std::to_string(getpid()) + ".tmp";

    int error = 0;
    if (!make_folders(folder)) {
        error = errno;
    } else if (const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); fd < 0) {
        error = errno;
    } else {
        if (!write_whole(fd, text, size) || fsync(fd) != 0)
            error = errno ? errno : EIO;
        if (close(fd) != 0 && error == 0)
            error = errno;
        if (error == 0 && !put_in_place(temporary, folder, stem))
            error = errno;
        if (error != 0)
            unlink(temporary.c_str());
    }
    if (error != 0) {
        std::fprintf(stderr, "pelmaric: this game cannot be kept in %s: %s\n", folder.c_str(), std::strerror(error));
        return;
    }
    forget_oldest(folder);
}

// The window and the sound close as the program exits (sdl_backend.cpp).
void plat_end_replay(const char* verdict, bool matched)
{
    std::printf("%s\n", verdict);
    std::fflush(stdout);
    std::exit(matched ? 0 : 1);
}
