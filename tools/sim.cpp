// sim.cpp -- pelmaric-sim: the real game on the memory platform, headless.
//
// Runs start-up and a number of frames with no window, no audio device and no
// waiting, feeding scripted input, and writes what happened in forms other
// programs read: the final state, a trace line per frame, the audio calls and
// a screenshot. The same seed and input always give the same bytes.
//
// Every output is written whole or not at all: each goes to a temporary file
// beside its target, opened before the first frame, and all are renamed into
// place only when every one of them was written and closed without error.
// Exit status: 0 done, 1 an output could not be written (nothing is left
// behind), 2 bad arguments or input (nothing runs).
#include "platform/event_text.h"
#include "platform/memory/memory_platform.h"
#include "platform/picture.h"
#include "shell/game_loop.h"
#include "tools/game_record.h"
#include "tools/png_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char* kUsage =
    "usage: pelmaric-sim --seed N --frames F [--size WxH] [--input FILE]\n"
    "                    [--state FILE] [--trace FILE] [--audio-log FILE] [--screenshot FILE.png]\n"
    "       pelmaric-sim --help\n";

const char* kHelp =
    "Runs Pelmaric headless: start-up and F frames of the real game with no window,\n"
    "no sound and no waiting, and writes what happened. The same seed and input\n"
    "always give the same bytes.\n"
    "\n"
    "  --seed N           seed of the game's random generator, 0 to 4294967295\n"
    "  --frames F         frames to run after start-up (0: start-up only)\n"
    "  --size WxH         client area, 1 to 8192 each (default 800x600)\n"
    "  --input FILE       events, one per line: FRAME KIND ARGS... (# comments)\n"
    "  --state FILE       the final state, as one JSON object\n"
    "  --trace FILE       one JSON line per frame\n"
    "  --audio-log FILE   one line per sound effect and music-control write\n"
    "  --screenshot FILE  the final picture, as a PNG\n"
    "\n"
    "Exit status: 0 done, 1 an output could not be written, 2 bad arguments or input.\n";

struct Options {
    bool have_seed = false, have_frames = false;
    uint32_t seed = 0;
    long frames = 0;
    int width = 800, height = 600;
    std::string input, state, trace, audio_log, screenshot;
};

// Bad arguments or input: exit 2, nothing runs.
struct BadArguments {
    std::string message;
    bool show_usage;
};

// An output could not be written: exit 1.
struct WriteFailed {
    std::string message;
};

std::string reason(int error) { return std::strerror(error); }

// Parsed as long long: a long has only 32 bits where the runner is built as
// WebAssembly, too few for a seed.
bool parse_long(const std::string& text, long long min, long long max, long long& out)
{
    if (text.empty() || text.find_first_not_of("+-0123456789") != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    out = v;
    return true;
}

Options parse_options(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw BadArguments{"option " + name + " needs a value", true};
            return argv[++i];
        };
        auto path = [&]() -> std::string {
            std::string v = value();
            if (v.empty())
                throw BadArguments{"option " + name + " needs a file name, not an empty string", true};
            return v;
        };
        if (name == "--seed") {
            long long v;
            if (!parse_long(value(), 0, 4294967295LL, v))
                throw BadArguments{"--seed takes a whole number from 0 to 4294967295", true};
            o.seed = uint32_t(v);
            o.have_seed = true;
        } else if (name == "--frames") {
            long long frames;
            if (!parse_long(value(), 0, 1000000000LL, frames))
                throw BadArguments{"--frames takes a whole number from 0", true};
            o.frames = long(frames);
            o.have_frames = true;
        } else if (name == "--size") {
            std::string v = value();
            size_t x = v.find('x');
            long long w, h;
            if (x == std::string::npos || !parse_long(v.substr(0, x), 1, 8192, w) ||
                !parse_long(v.substr(x + 1), 1, 8192, h))
                throw BadArguments{"--size takes WxH, each from 1 to 8192, as in 800x600", true};
            o.width = int(w);
            o.height = int(h);
        } else if (name == "--input") {
            o.input = path();
        } else if (name == "--state") {
            o.state = path();
        } else if (name == "--trace") {
            o.trace = path();
        } else if (name == "--audio-log") {
            o.audio_log = path();
        } else if (name == "--screenshot") {
            o.screenshot = path();
        } else {
            throw BadArguments{"unknown option " + name, true};
        }
    }
    if (!o.have_seed)
        throw BadArguments{"--seed is required", true};
    if (!o.have_frames)
        throw BadArguments{"--frames is required", true};
    return o;
}

// Reads the input script. A folder, or a file that cannot be read through,
// is refused; so is the first malformed line, named by its number.
std::vector<TimedEvent> read_input(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        throw BadArguments{"cannot read input file " + path + ": " + reason(errno), false};
    if (S_ISDIR(st.st_mode))
        throw BadArguments{"cannot read input file " + path + ": " + reason(EISDIR), false};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw BadArguments{"cannot read input file " + path + ": " + reason(errno), false};

    std::vector<TimedEvent> events;
    std::string line, why;
    long number = 0;
    while (std::getline(in, line)) {
        ++number;
        TimedEvent t;
        switch (read_event_line(line.data(), line.size(), t, why)) {
        case LineRead::Event: events.push_back(t); break;
        case LineRead::Nothing: break;
        case LineRead::Malformed: {
            // Shown as read, up to any NUL byte.
            throw BadArguments{"input line " + std::to_string(number) + ": \"" + line.c_str() + "\": " + why, false};
        }
        }
    }
    if (in.bad())
        throw BadArguments{"cannot read input file " + path + ": " + reason(errno), false};
    // Events of one frame keep their file order.
    std::stable_sort(events.begin(), events.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.frame < b.frame; });
    return events;
}

// One output file. A regular file (or a name not yet taken) is written to a
// temporary file in the same folder and renamed over the target at commit; a
// device or a pipe (/dev/stdout, /dev/null) is written directly.
struct Output {
    std::string path;      // as given
    std::string target;    // where the file goes, symbolic links followed
    std::string temporary; // empty when written directly
    FILE* file = nullptr;
    int error = 0; // the first failure's errno

    explicit operator bool() const { return file != nullptr; }

    void write(const char* bytes, size_t n)
    {
        if (error == 0 && n > 0 && std::fwrite(bytes, 1, n, file) != n)
            error = errno ? errno : EIO;
    }
    void write(const std::string& s) { write(s.data(), s.size()); }
};

// Opens `out` for `path` before the first frame; a folder, an unwritable
// place or a missing folder is refused with the system's reason.
void open_output(Output& out, const std::string& path)
{
    if (path.empty())
        return;
    out.path = path;
    out.target = path;
    struct stat st;
    bool exists = stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        throw BadArguments{"cannot write " + path + ": " + reason(EISDIR), false};
    if (exists && !S_ISREG(st.st_mode)) {
        out.file = std::fopen(path.c_str(), "wb");
        if (!out.file)
            throw BadArguments{"cannot write " + path + ": " + reason(errno), false};
        return;
    }
    if (exists) {
        // Replace what a link points at, not the link.
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) != nullptr)
            out.target = resolved;
    }
    std::string::size_type slash = out.target.rfind('/');
    std::string folder = slash == std::string::npos ? "" : out.target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? out.target : out.target.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    int fd = mkstemp(temp.data());
    if (fd < 0)
        throw BadArguments{"cannot write " + path + ": " + reason(errno), false};
    out.temporary = temp.data();
    // The permissions a newly created file would have had.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    out.file = fdopen(fd, "wb");
    if (!out.file) {
        int e = errno;
        close(fd);
        unlink(out.temporary.c_str());
        throw BadArguments{"cannot write " + path + ": " + reason(e), false};
    }
}

// Closes `out`; returns false, with the reason kept, if anything written was lost.
bool close_output(Output& out)
{
    if (!out.file)
        return true;
    if (out.error == 0 && std::fflush(out.file) != 0)
        out.error = errno ? errno : EIO;
    if (std::fclose(out.file) != 0 && out.error == 0)
        out.error = errno ? errno : EIO;
    out.file = nullptr;
    return out.error == 0;
}

// Takes away an output's temporary file.
void discard_output(Output& out)
{
    if (out.file) {
        std::fclose(out.file);
        out.file = nullptr;
    }
    if (!out.temporary.empty())
        unlink(out.temporary.c_str());
    out.temporary.clear();
}

// Writes the audio calls made since `done` and returns the new count; adds
// each effect's name to `sounds`.
size_t log_audio(Output& log, long frame, size_t done, std::vector<std::string>& sounds)
{
    const std::vector<AudioCall>& calls = mem_audio_calls();
    char line[64];
    for (; done < calls.size(); ++done) {
        const AudioCall& c = calls[done];
        if (c.is_sound)
            sounds.push_back(effect_name(c.name));
        if (!log)
            continue;
        if (c.is_sound) {
            std::snprintf(line, sizeof line, "%ld sound ", frame);
            log.write(line + effect_name(c.name) + " " + std::to_string(c.value) + "\n");
        } else {
            std::snprintf(line, sizeof line, "%ld music %d ", frame, c.value);
            log.write(line + c.name + "\n");
        }
    }
    return done;
}

// The outputs of one run, so that a failure anywhere can take them all away.
struct Outputs {
    Output trace, audio, state, screenshot;

    Output* all[4] = {&trace, &audio, &state, &screenshot};

    // Throws WriteFailed naming the first output that lost a write.
    void check() const
    {
        for (const Output* o : all)
            if (o->error != 0)
                throw WriteFailed{"cannot write " + o->path + ": " + reason(o->error)};
    }
    void discard()
    {
        for (Output* o : all)
            discard_output(*o);
    }
    // Closes every output and renames the temporary files into place, or
    // throws WriteFailed if any of them lost a write.
    void commit()
    {
        for (Output* o : all)
            close_output(*o);
        check();
        for (Output* o : all) {
            if (o->temporary.empty())
                continue;
            if (std::rename(o->temporary.c_str(), o->target.c_str()) != 0) {
                int e = errno;
                throw WriteFailed{"cannot write " + o->path + ": " + reason(e)};
            }
            o->temporary.clear();
        }
    }
};

int run(const Options& o, Outputs& out)
{
    std::vector<TimedEvent> events = o.input.empty() ? std::vector<TimedEvent>{} : read_input(o.input);
    open_output(out.trace, o.trace);
    open_output(out.audio, o.audio_log);
    open_output(out.state, o.state);
    open_output(out.screenshot, o.screenshot);

    mem_reset(o.width, o.height, kRecordFolder);
    start_up(o.seed);
    std::vector<std::string> sounds;
    size_t logged = log_audio(out.audio, 0, 0, sounds);

    long frames_run = 0;
    bool ended = false;
    size_t next_event = 0;
    for (long frame = 1; frame <= o.frames; ++frame) {
        for (; next_event < events.size() && events[next_event].frame == frame; ++next_event)
            post_event(events[next_event].event);
        sounds.clear();
        try {
            run_frame();
        } catch (const ProgramEnded&) {
            ended = true;
        }
        logged = log_audio(out.audio, frame, logged, sounds);
        frames_run = frame;
        // The frame in which Esc ends the game writes no trace line.
        if (ended)
            break;
        if (out.trace)
            out.trace.write(trace_json(frame, sounds));
        // A full disk ends the run at once rather than after every frame.
        out.check();
    }

    if (out.state)
        out.state.write(state_json(frames_run, ended));
    if (out.screenshot) {
        std::vector<uint8_t> png = encode_png(picture_pixels(), picture_width(), picture_height());
        out.screenshot.write(reinterpret_cast<const char*>(png.data()), png.size());
    }
    out.commit();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // A file-size limit then shows as a failed write, reported like any other.
    std::signal(SIGXFSZ, SIG_IGN);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            std::fputs("\n", stdout);
            std::fputs(kHelp, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    Outputs out;
    try {
        return run(parse_options(argc, argv), out);
    } catch (const BadArguments& f) {
        out.discard();
        std::fprintf(stderr, "pelmaric-sim: %s\n", f.message.c_str());
        if (f.show_usage)
            std::fputs(kUsage, stderr);
        return 2;
    } catch (const WriteFailed& f) {
        out.discard();
        std::fprintf(stderr, "pelmaric-sim: %s\n", f.message.c_str());
        return 1;
    }
}
