// sim.cpp -- pelmaric-sim: the real game on the memory platform, headless.
//
// Runs start-up and a number of frames with no window, no audio device and no
// waiting, feeding scripted input, and writes what happened in forms other
// programs read: the final state, a trace line per frame, the audio calls and
// a screenshot. The same seed and input always give the same bytes.
#include "combat/tables.h"
#include "combat/missiles.h"
#include "platform/memory/memory_platform.h"
#include "scene/backdrop.h"
#include "scene/skyline.h"
#include "shell/game_loop.h"
#include "shell/rnd.h"
#include "tools/png_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* kUsage =
    "usage: pelmaric-sim --seed N --frames F [--size WxH] [--input FILE]\n"
    "                    [--state FILE] [--trace FILE] [--audio-log FILE] [--screenshot FILE.png]\n";

// The program folder the memory platform reports; effect names are given
// back relative to it.
const char* kFolder = "/pelmaric";

struct Options {
    bool have_seed = false, have_frames = false;
    uint32_t seed = 0;
    long frames = 0;
    int width = 800, height = 600;
    std::string input, state, trace, audio_log, screenshot;
};

struct TimedEvent {
    long frame;
    ScriptedEvent event;
};

struct Failure {
    std::string message;
};

bool parse_long(const std::string& text, long min, long max, long& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    out = v;
    return true;
}

bool parse_float(const std::string& text, float& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    float v = std::strtof(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v))
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
                throw Failure{"option " + name + " needs a value"};
            return argv[++i];
        };
        if (name == "--seed") {
            long v;
            if (!parse_long(value(), 0, 4294967295L, v))
                throw Failure{"--seed takes a whole number from 0 to 4294967295"};
            o.seed = uint32_t(v);
            o.have_seed = true;
        } else if (name == "--frames") {
            if (!parse_long(value(), 0, 1000000000L, o.frames))
                throw Failure{"--frames takes a whole number from 0"};
            o.have_frames = true;
        } else if (name == "--size") {
            std::string v = value();
            size_t x = v.find('x');
            long w, h;
            if (x == std::string::npos || !parse_long(v.substr(0, x), 1, 8192, w) ||
                !parse_long(v.substr(x + 1), 1, 8192, h))
                throw Failure{"--size takes WxH, each from 1 to 8192, as in 800x600"};
            o.width = int(w);
            o.height = int(h);
        } else if (name == "--input") {
            o.input = value();
        } else if (name == "--state") {
            o.state = value();
        } else if (name == "--trace") {
            o.trace = value();
        } else if (name == "--audio-log") {
            o.audio_log = value();
        } else if (name == "--screenshot") {
            o.screenshot = value();
        } else {
            throw Failure{"unknown option " + name};
        }
    }
    if (!o.have_seed)
        throw Failure{"--seed is required"};
    if (!o.have_frames)
        throw Failure{"--frames is required"};
    return o;
}

// Reads the input script: one event per line, "FRAME KIND ARGS...".
std::vector<TimedEvent> read_input(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw Failure{"cannot read input file " + path};
    std::vector<TimedEvent> events;
    std::string line;
    long number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.empty() || w[0][0] == '#')
            continue;

        auto bad = [&](const std::string& why) {
            return Failure{"input line " + std::to_string(number) + ": \"" + line + "\": " + why};
        };
        TimedEvent t{};
        if (!parse_long(w[0], 1, 1000000000L, t.frame))
            throw bad("the frame must be a whole number from 1");
        if (w.size() < 2)
            throw bad("missing event kind");
        const std::string& kind = w[1];
        size_t args = w.size() - 2;
        if (kind == "move" || kind == "mousedown") {
            if (args != 2 || !parse_float(w[2], t.event.x) || !parse_float(w[3], t.event.y))
                throw bad(kind + " takes two decimal numbers X Y");
            t.event.kind = kind == "move" ? EventKind::MouseMove : EventKind::MouseDown;
        } else if (kind == "keydown" || kind == "keypress") {
            long code;
            if (args != 1 || !parse_long(w[2], -32768, 32767, code))
                throw bad(kind + " takes one key code from -32768 to 32767");
            t.event.kind = kind == "keydown" ? EventKind::KeyDown : EventKind::KeyPress;
            t.event.code = int16_t(code);
        } else if (kind == "music-done") {
            if (args != 0)
                throw bad("music-done takes no arguments");
            t.event.kind = EventKind::MusicDone;
        } else {
            throw bad("unknown event kind '" + kind + "'");
        }
        events.push_back(t);
    }
    // Events of one frame keep their file order.
    std::stable_sort(events.begin(), events.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.frame < b.frame; });
    return events;
}

FILE* open_output(const std::string& path)
{
    if (path.empty())
        return nullptr;
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        throw Failure{"cannot write " + path};
    return f;
}

// An effect's name as the game gave it: the part after the program folder,
// with the separators written back as backslashes.
std::string effect_name(const std::string& path)
{
    std::string name = path.compare(0, std::strlen(kFolder), kFolder) == 0 ? path.substr(std::strlen(kFolder)) : path;
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

std::string json_string(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string num(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", double(v));
    return text;
}

std::string mover_json(const Mover& m)
{
    return "{\"x\":" + num(m.x) + ",\"y\":" + num(m.y) + ",\"dx\":" + num(m.dx) + ",\"dy\":" + num(m.dy) +
           ",\"r\":" + std::to_string(m.r) + ",\"g\":" + std::to_string(m.g) + ",\"b\":" + std::to_string(m.b) +
           ",\"life\":" + std::to_string(m.life) + ",\"maxlife\":" + std::to_string(m.maxlife) +
           ",\"gravity\":" + num(m.gravity) + "}";
}

std::string shot_json(const Shot& s)
{
    return "{\"x\":" + num(s.x) + ",\"y\":" + num(s.y) + ",\"dx\":" + num(s.dx) + ",\"dy\":" + num(s.dy) +
           ",\"tx\":" + num(s.tx) + ",\"ty\":" + num(s.ty) + ",\"r\":" + std::to_string(s.r) +
           ",\"g\":" + std::to_string(s.g) + ",\"b\":" + std::to_string(s.b) +
           ",\"state\":" + std::to_string(s.state) + "}";
}

std::string blast_json(const Blast& b)
{
    return "{\"x\":" + num(b.x) + ",\"y\":" + num(b.y) + ",\"half_width\":" + num(b.half_width) +
           ",\"half_height\":" + num(b.half_height) + ",\"life\":" + std::to_string(b.life) + "}";
}

std::string building_json(const Building& b)
{
    return "{\"x\":" + num(b.x) + ",\"y\":" + num(b.y) + ",\"w\":" + num(b.w) + ",\"h\":" + num(b.h) +
           ",\"r\":" + std::to_string(b.r) + ",\"g\":" + std::to_string(b.g) + ",\"b\":" + std::to_string(b.b) + "}";
}

template <typename Record, typename Format>
std::string list_json(const Record* table, int16_t count, Format format)
{
    std::string out = "[";
    for (int16_t i = 1; i <= count; ++i)
        out += (i > 1 ? ", " : "") + format(table[i]);
    return out + "]";
}

void write_state(FILE* f, long frames_run, bool ended)
{
    std::fprintf(f,
                 "{\"frames_run\": %ld, \"ended\": %s, \"rnd_draws\": %llu,\n"
                 " \"mouse_x\": %d, \"mouse_y\": %d, \"spawn_interval\": %d, \"spawn_countdown\": %d,\n"
                 " \"sky_type\": %d, \"ground_color\": [%d, %d, %d], \"roof_top\": %d, \"hit_index\": %d,\n"
                 " \"cursor_counter\": %d,\n",
                 frames_run, ended ? "true" : "false", (unsigned long long)rnd_draws(), mouse_x, mouse_y,
                 spawn_interval, spawn_countdown, sky_type, ground_color.r, ground_color.g, ground_color.b,
                 roof_top, hit_index, mem_cursor_counter());
    std::fprintf(f, " \"buildings\": %s,\n", list_json(buildings, building_count, building_json).c_str());
    std::fprintf(f, " \"missiles\": %s,\n", list_json(missiles, missile_count, mover_json).c_str());
    std::fprintf(f, " \"particles\": %s,\n", list_json(particles, particle_count, mover_json).c_str());
    std::fprintf(f, " \"shots\": %s,\n", list_json(shots, shot_count, shot_json).c_str());
    std::fprintf(f, " \"blasts\": %s}\n", list_json(blasts, blast_count, blast_json).c_str());
}

// Writes the audio calls made since `done` and returns the new count; adds
// each effect's name to `sounds`.
size_t log_audio(FILE* log, long frame, size_t done, std::vector<std::string>& sounds)
{
    const std::vector<AudioCall>& calls = mem_audio_calls();
    for (; done < calls.size(); ++done) {
        const AudioCall& c = calls[done];
        if (c.is_sound)
            sounds.push_back(effect_name(c.name));
        if (!log)
            continue;
        if (c.is_sound)
            std::fprintf(log, "%ld sound %s %d\n", frame, effect_name(c.name).c_str(), c.value);
        else
            std::fprintf(log, "%ld music %d %s\n", frame, c.value, c.name.c_str());
    }
    return done;
}

void write_trace(FILE* f, long frame, const std::vector<std::string>& sounds)
{
    std::string list;
    for (size_t i = 0; i < sounds.size(); ++i)
        list += (i ? ", " : "") + json_string(sounds[i]);
    std::fprintf(f,
                 "{\"frame\": %ld, \"rnd_draws\": %llu, \"missile_count\": %d, \"particle_count\": %d, "
                 "\"shot_count\": %d, \"blast_count\": %d, \"building_count\": %d, \"spawn_interval\": %d, "
                 "\"spawn_countdown\": %d, \"sky_type\": %d, \"sounds\": [%s]}\n",
                 frame, (unsigned long long)rnd_draws(), missile_count, particle_count, shot_count, blast_count,
                 building_count, spawn_interval, spawn_countdown, sky_type, list.c_str());
}

int run(const Options& o)
{
    std::vector<TimedEvent> events = o.input.empty() ? std::vector<TimedEvent>{} : read_input(o.input);
    FILE* trace = open_output(o.trace);
    FILE* audio = open_output(o.audio_log);

    mem_reset(o.width, o.height, kFolder);
    start_up(o.seed);
    std::vector<std::string> sounds;
    size_t logged = log_audio(audio, 0, 0, sounds);

    long frames_run = 0;
    bool ended = false;
    size_t next_event = 0;
    for (long frame = 1; frame <= o.frames; ++frame) {
        for (; next_event < events.size() && events[next_event].frame == frame; ++next_event)
            mem_push_event(events[next_event].event);
        sounds.clear();
        try {
            run_frame();
        } catch (const ProgramEnded&) {
            ended = true;
        }
        logged = log_audio(audio, frame, logged, sounds);
        frames_run = frame;
        if (ended)
            break;
        if (trace)
            write_trace(trace, frame, sounds);
    }

    if (trace)
        std::fclose(trace);
    if (audio)
        std::fclose(audio);
    if (FILE* state = open_output(o.state)) {
        write_state(state, frames_run, ended);
        std::fclose(state);
    }
    if (!o.screenshot.empty() && !write_png(o.screenshot, mem_surface(), mem_width(), mem_height()))
        throw Failure{"cannot write " + o.screenshot};
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(parse_options(argc, argv));
    } catch (const Failure& f) {
        std::fprintf(stderr, "pelmaric-sim: %s\n", f.message.c_str());
        if (f.message.rfind("input line", 0) != 0 && f.message.rfind("cannot", 0) != 0)
            std::fputs(kUsage, stderr);
        return 2;
    }
}
