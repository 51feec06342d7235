// sdl_audio_files.cpp -- the audio backend's file reads: versions told apart, regular files only, never a wait.
#include "platform/sdl/sdl_audio_parts.h"

#include <fcntl.h>
#include <unistd.h>

using namespace sdl_audio;

FileStamp sdl_audio::stamp_of(const struct stat& st)
{
    return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

bool sdl_audio::same_file(const FileStamp& a, const FileStamp& b)
{
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec &&
           a.changed.tv_sec == b.changed.tv_sec && a.changed.tv_nsec == b.changed.tv_nsec;
}

int sdl_audio::open_regular(const char* path, struct stat& st)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

bool sdl_audio::read_whole_file(const char* path, uint64_t max_bytes, std::vector<uint8_t>& bytes, FileStamp& stamp)
{
    struct stat st;
    int fd = open_regular(path, st);
    if (fd < 0)
        return false;
    bool ok = uint64_t(st.st_size) <= max_bytes;
    if (ok) {
        bytes.resize(size_t(st.st_size));
        size_t done = 0;
        while (ok && done < bytes.size()) {
            ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
            if (got > 0)
                done += size_t(got);
            else
                ok = false; // error, or the file shrank under us
        }
        stamp = stamp_of(st);
    }
    close(fd);
    return ok;
}
