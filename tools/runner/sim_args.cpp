// sim_args.cpp -- reads pelmaric-sim's options and its input script.
#include "tools/runner/sim_args.h"
#include "tools/whole_number.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

namespace {

// The start of a bad line as it may go to a terminal: at most 80 bytes, up to
// any NUL, control bytes written as \xHH.
std::string quote(const std::string& line)
{
    constexpr size_t kShown = 80;
    size_t end = std::min({line.size(), kShown, line.find('\0')});
    std::string out = "\"";
    for (size_t i = 0; i < end; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    out += "\"";
    if (end < line.size() && line.find('\0') != end)
        out += "...";
    return out;
}

} // namespace

Options parse_options(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw SimFailure{kBadInput, "option " + name + " needs a value", true};
            return argv[++i];
        };
        auto path = [&]() -> std::string {
            std::string v = value();
            if (v.empty())
                throw SimFailure{kBadInput, "option " + name + " needs a file name, not an empty string", true};
            return v;
        };
        if (name == "--seed") {
            long long v;
            if (!read_whole_number(value(), 0, 4294967295LL, v))
                throw SimFailure{kBadInput, "--seed takes a whole number from 0 to 4294967295", true};
            o.seed = uint32_t(v);
            o.have_seed = true;
        } else if (name == "--frames") {
            long long frames;
            if (!read_whole_number(value(), 0, 1000000000LL, frames))
                throw SimFailure{kBadInput, "--frames takes a whole number from 0", true};
            o.frames = long(frames);
            o.have_frames = true;
        } else if (name == "--size") {
            std::string v = value();
            size_t x = v.find('x');
            long long w, h;
            if (x == std::string::npos || !read_whole_number(v.substr(0, x), 1, 8192, w) ||
                !read_whole_number(v.substr(x + 1), 1, 8192, h))
                throw SimFailure{kBadInput, "--size takes WxH, each from 1 to 8192, as in 800x600", true};
            o.width = int(w);
            o.height = int(h);
            o.have_size = true;
        } else if (name == "--verify") {
            o.verify = true;
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
            // Quoted like a bad line: an argument may be anything.
            throw SimFailure{kBadInput, "unknown option " + quote(name), true};
        }
    }
    if (o.verify) {
        if (o.input.empty())
            throw SimFailure{kBadInput, "--verify needs --input, the replay to verify", true};
        if (o.have_seed || o.have_frames || o.have_size)
            throw SimFailure{kBadInput, "--verify takes the seed, the frames and the size from the replay: give none",
                             true};
        return o;
    }
    if (!o.have_seed)
        throw SimFailure{kBadInput, "--seed is required", true};
    if (!o.have_frames)
        throw SimFailure{kBadInput, "--frames is required", true};
    return o;
}

std::vector<TimedEvent> read_events(FILE* in, const std::string& name)
{
    std::vector<TimedEvent> events;
    std::string line, why;
    line.reserve(kMaxInputLineBytes + 1);
    long number = 0;
    for (;;) {
        line.clear();
        int c;
        while ((c = std::getc(in)) != EOF && c != '\n' && c != '\0' && line.size() <= kMaxInputLineBytes)
            line += char(c);
        if (c == EOF && std::ferror(in))
            throw SimFailure{kBadInput, "cannot read input file " + name + ": " + reason(errno ? errno : EIO), false};
        if (c == EOF && line.empty())
            break;
        ++number;
        std::string where = "input line " + std::to_string(number) + ": ";
        if (line.size() > kMaxInputLineBytes)
            throw SimFailure{kBadInput, where + quote(line) + ": longer than " + std::to_string(kMaxInputLineBytes) +
                                   " bytes",
                               false};
        // A NUL ends the reading: the line is refused for it, and a file of
        // zeros is not read on.
        if (c == '\0')
            line += '\0';
        TimedEvent t;
        switch (read_event_line(line.data(), line.size(), t, why)) {
        case LineRead::Event: events.push_back(t); break;
        case LineRead::Nothing: break;
        case LineRead::Malformed: throw SimFailure{kBadInput, where + quote(line) + ": " + why, false};
        }
        if (c == EOF)
            break;
    }
    // Events of one frame keep their file order.
    std::stable_sort(events.begin(), events.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.frame < b.frame; });
    return events;
}

std::vector<TimedEvent> read_input(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        throw SimFailure{kBadInput, "cannot read input file " + path + ": " + reason(errno), false};
    if (S_ISDIR(st.st_mode))
        throw SimFailure{kBadInput, "cannot read input file " + path + ": " + reason(EISDIR), false};
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        throw SimFailure{kBadInput, "cannot read input file " + path + ": " + reason(errno), false};
    try {
        std::vector<TimedEvent> events = read_events(in, path);
        std::fclose(in);
        return events;
    } catch (...) {
        std::fclose(in);
        throw;
    }
}
