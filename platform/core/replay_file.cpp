// replay_file.cpp -- writes and reads a kept game's text (see replay_file.h).
#include "platform/core/replay_file.h"

#include "platform/platform.h"

#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

const char* const kProgramVersion = PELMARIC_VERSION;

namespace {

constexpr uint64_t kMaxSeed = 4294967295ULL;
constexpr uint64_t kMaxFrames = 1000000000ULL; // as the runner's --frames
constexpr int kMaxSide = 8192;                 // as the runner's --size
constexpr size_t kMaxVersionBytes = 32;

// Words of a line, split at blanks.
std::vector<std::string> words(const std::string& text)
{
    std::vector<std::string> w;
    for (std::string::size_type at = 0;;) {
        at = text.find_first_not_of(" \t", at);
        if (at == std::string::npos)
            return w;
        std::string::size_type end = text.find_first_of(" \t", at);
        w.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos)
            return w;
        at = end;
    }
}

// Digits only, at most `max`.
bool read_number(const std::string& word, uint64_t max, uint64_t& out)
{
    if (word.empty() || word.size() > 20 || word.find_first_not_of("0123456789") != std::string::npos)
        return false;
    uint64_t v = 0;
    for (char c : word) {
        if (v > (max - uint64_t(c - '0')) / 10)
            return false;
        v = v * 10 + uint64_t(c - '0');
    }
    out = v;
    return true;
}

bool read_hex64(const std::string& word, uint64_t& out)
{
    if (word.size() != 16 || word.find_first_not_of("0123456789abcdef") != std::string::npos)
        return false;
    uint64_t v = 0;
    for (char c : word)
        v = v << 4 | uint64_t(c <= '9' ? c - '0' : c - 'a' + 10);
    out = v;
    return true;
}

std::string at_line(long number, const std::string& what) { return "line " + std::to_string(number) + ": " + what; }

} // namespace

std::string replay_head_text(const ReplayHead& head)
{
    char text[160];
    std::snprintf(text, sizeof text, "# pelmaric replay %d\n# version %s\n# seed %" PRIu32 "\n# size %dx%d\n",
                  kReplayFormat, head.version.c_str(), head.seed, head.width, head.height);
    return text;
}

std::string replay_end_text(long frames, uint64_t digest)
{
    char text[80];
    std::snprintf(text, sizeof text, "# frames %ld\n# digest %016" PRIx64 "\n", frames, digest);
    return text;
}

bool read_replay_line(const char* line, size_t length, ReplayLine& out)
{
    if (length == 0 || line[0] != '#' || std::memchr(line, '\0', length) != nullptr)
        return false;
    std::string text(line + 1, length - 1);
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    const std::vector<std::string> w = words(text);
    ReplayLine r;
    if (w.size() == 3 && w[0] == "pelmaric" && w[1] == "replay")
        r.key = "pelmaric";
    else if (w.size() == 2)
        r.key = w[0];
    else
        return false;
    const std::string& value = w.back();
    if (r.key == "pelmaric" || r.key == "frames") {
        if (!read_number(value, r.key == "frames" ? kMaxFrames : 1000000, r.number))
            return false;
    } else if (r.key == "seed") {
        if (!read_number(value, kMaxSeed, r.number))
            return false;
    } else if (r.key == "digest") {
        if (!read_hex64(value, r.number))
            return false;
    } else if (r.key == "version") {
        if (value.size() > kMaxVersionBytes)
            return false;
        for (char c : value)
            if (c <= ' ' || c > '~')
                return false;
        r.text = value;
    } else if (r.key == "size") {
        const std::string::size_type x = value.find('x');
        uint64_t w_ = 0, h_ = 0;
        if (x == std::string::npos || !read_number(value.substr(0, x), kMaxSide, w_) ||
            !read_number(value.substr(x + 1), kMaxSide, h_) || w_ == 0 || h_ == 0)
            return false;
        r.width = int(w_);
        r.height = int(h_);
    } else {
        return false;
    }
    out = r;
    return true;
}

bool read_replay(const char* bytes, size_t size, Replay& out, std::string& why)
{
    if (size > kReplayMaxBytes) {
        why = "larger than " + std::to_string(kReplayMaxBytes >> 20) + " MiB";
        return false;
    }
    static const char* const kHead[] = {"pelmaric", "version", "seed", "size"};
    Replay r;
    bool have_frames = false, have_digest = false;
    long number = 0, last_frame = 1;
    for (size_t at = 0; at < size;) {
        const char* start = bytes + at;
        const void* newline = std::memchr(start, '\n', size - at);
        const size_t length = newline ? size_t(static_cast<const char*>(newline) - start) : size - at;
        at += length + 1;
        if (++number > kReplayMaxLines) {
            why = "more than " + std::to_string(kReplayMaxLines) + " lines";
            return false;
        }
        if (length > kReplayMaxLineBytes) {
            why = at_line(number, "longer than " + std::to_string(kReplayMaxLineBytes) + " bytes");
            return false;
        }
        ReplayLine key;
        const bool keyed = read_replay_line(start, length, key);
        if (number <= 4) {
            if (!keyed || key.key != kHead[number - 1]) {
                why = newline == nullptr && number > 1 ? "truncated: its header is not whole"
                      : number == 1 ? "not a Pelmaric replay (no \"# pelmaric replay\" line first)"
                                  : at_line(number, std::string("expected \"# ") + kHead[number - 1] + " ...\"");
                return false;
            }
            if (number == 1 && key.number != uint64_t(kReplayFormat)) {
                why = "a replay of format " + std::to_string(key.number) + "; this Pelmaric reads format " +
                      std::to_string(kReplayFormat);
                return false;
            }
            if (number == 2)
                r.head.version = key.text;
            if (number == 3)
                r.head.seed = uint32_t(key.number);
            if (number == 4) {
                r.head.width = key.width;
                r.head.height = key.height;
            }
            continue;
        }
        if (have_digest && length > 0) {
            why = at_line(number, "more after the digest, which ends a replay");
            return false;
        }
        if (keyed) {
            if (key.key == "frames" && !have_frames) {
                have_frames = true;
                r.frames = long(key.number);
            } else if (key.key == "digest" && have_frames) {
                have_digest = true;
                r.digest = key.number;
            } else {
                why = at_line(number, "a \"# " + key.key + "\" line out of place");
                return false;
            }
            continue;
        }
        TimedEvent t{};
        std::string reason;
        switch (read_event_line(start, length, t, reason)) {
        case LineRead::Nothing: continue;
        case LineRead::Malformed: why = at_line(number, reason); return false;
        case LineRead::Event: break;
        }
        if (have_frames) {
            why = at_line(number, "an event after \"# frames\"");
            return false;
        }
        if (t.frame < last_frame) {
            why = at_line(number, "frame " + std::to_string(t.frame) + " after frame " + std::to_string(last_frame) +
                                      ": frames out of order");
            return false;
        }
        last_frame = t.frame;
        r.events.push_back(t);
    }
    if (number < 4) {
        why = number == 0 ? "empty" : "truncated: its header is not whole";
        return false;
    }
    if (!have_digest) {
        why = "truncated: no \"# frames\" and \"# digest\" at its end";
        return false;
    }
    if (!r.events.empty() && r.events.back().frame > r.frames) {
        why = "an event at frame " + std::to_string(r.events.back().frame) + ", after the last frame, " +
              std::to_string(r.frames);
        return false;
    }
    if (r.head.version != kProgramVersion) {
        why = "recorded by Pelmaric " + r.head.version + "; this is Pelmaric " + kProgramVersion +
              ", whose rules may differ, so it is not played";
        return false;
    }
    out = std::move(r);
    return true;
}

bool read_replay_file(const char* path, std::string& bytes, std::string& why)
{
    struct stat st;
    if (stat(path, &st) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        why = std::strerror(EISDIR);
        return false;
    }
    if (S_ISREG(st.st_mode) && uint64_t(st.st_size) > kReplayMaxBytes) {
        why = "larger than " + std::to_string(kReplayMaxBytes >> 20) + " MiB";
        return false;
    }
    FILE* in = std::fopen(path, "rb");
    if (!in) {
        why = std::strerror(errno);
        return false;
    }
    // A pipe or a device has no size: read one byte past the cap to know.
    bytes.clear();
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0 && bytes.size() <= kReplayMaxBytes)
        bytes.append(chunk, n);
    const bool failed = std::ferror(in) != 0;
    const int error = errno;
    std::fclose(in);
    if (failed) {
        why = std::strerror(error ? error : EIO);
        return false;
    }
    if (bytes.size() > kReplayMaxBytes) {
        why = "larger than " + std::to_string(kReplayMaxBytes >> 20) + " MiB";
        return false;
    }
    return true;
}

bool read_replay_for_window(const char* path, Replay& out, std::string& why)
{
    std::string bytes;
    if (!read_replay_file(path, bytes, why) || !read_replay(bytes.data(), bytes.size(), out, why))
        return false;
    if (out.head.width == kClientWidth && out.head.height == kClientHeight)
        return true;
    why = "recorded in a " + std::to_string(out.head.width) + "x" + std::to_string(out.head.height) +
          " client area; the game plays only " + std::to_string(kClientWidth) + "x" + std::to_string(kClientHeight);
    return false;
}

uint64_t replay_digest(const std::string& state_text)
{
    uint64_t h = 14695981039346656037ULL;
    for (unsigned char c : state_text) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}
