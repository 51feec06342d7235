// state_text.cpp -- the whole game as JSON text, and its digest.
#include "shell/state_text.h"

#include "platform/core/replay_file.h"
#include "shell/game_state.h"
#include "shell/rnd.h"

#include <cstdio>

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

namespace {

// Floats with nine significant digits, so they read back exactly.
std::string num(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", double(v));
    return text;
}

std::string record_json(const Mover& m)
{
    return "{\"x\":" + num(m.x) + ",\"y\":" + num(m.y) + ",\"dx\":" + num(m.dx) + ",\"dy\":" + num(m.dy) +
           ",\"r\":" + std::to_string(m.r) + ",\"g\":" + std::to_string(m.g) + ",\"b\":" + std::to_string(m.b) +
           ",\"life\":" + std::to_string(m.life) + ",\"maxlife\":" + std::to_string(m.maxlife) +
           ",\"gravity\":" + num(m.gravity) + "}";
}

std::string record_json(const Shot& s)
{
    return "{\"x\":" + num(s.x) + ",\"y\":" + num(s.y) + ",\"dx\":" + num(s.dx) + ",\"dy\":" + num(s.dy) +
           ",\"tx\":" + num(s.tx) + ",\"ty\":" + num(s.ty) + ",\"r\":" + std::to_string(s.r) +
           ",\"g\":" + std::to_string(s.g) + ",\"b\":" + std::to_string(s.b) +
           ",\"state\":" + std::to_string(s.state) + "}";
}

std::string record_json(const Blast& b)
{
    return "{\"x\":" + num(b.x) + ",\"y\":" + num(b.y) + ",\"half_width\":" + num(b.half_width) +
           ",\"half_height\":" + num(b.half_height) + ",\"life\":" + std::to_string(b.life) + "}";
}

std::string record_json(const Building& b)
{
    return "{\"x\":" + num(b.x) + ",\"y\":" + num(b.y) + ",\"w\":" + num(b.w) + ",\"h\":" + num(b.h) +
           ",\"r\":" + std::to_string(b.r) + ",\"g\":" + std::to_string(b.g) + ",\"b\":" + std::to_string(b.b) + "}";
}

// Gathers every global of the game as JSON members, in the walk's order:
// single values first, then the tables with their live records.
struct StateJson {
    std::vector<std::string> values;
    std::vector<std::string> tables;

    void value(const char* name, int16_t v) { values.push_back(json_string(name) + ": " + std::to_string(v)); }
    void value(const char* name, Rgb c)
    {
        values.push_back(json_string(name) + ": [" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " +
                         std::to_string(c.b) + "]");
    }
    template <typename Record, size_t Slots> void table(const char* name, const Record (&slots)[Slots], int16_t count)
    {
        std::string list = "[";
        for (int16_t i = 1; i <= count; ++i)
            list += (i > 1 ? ", " : "") + record_json(slots[i]);
        tables.push_back(json_string(name) + ": " + list + "]");
    }
};

} // namespace

// The state file: the run's own facts, then the game's single values four to
// a line, then one table a line.
std::string state_text(long frames_run, bool ended, int32_t cursor_counter)
{
    StateJson game;
    visit_game(game);
    // Written as the game's other single values are, in 16 bits. The counter
    // itself is 32 bits, but a game moves it only at start-up (to -1) and at
    // Esc (to 1): it never comes near the edge of 16 bits.
    game.value("cursor_counter", int16_t(cursor_counter));

    std::string text = "{\"frames_run\": " + std::to_string(frames_run) + ", \"ended\": " +
                       (ended ? "true" : "false") + ", \"rnd_draws\": " + std::to_string(rnd_draws()) + ",\n";
    for (size_t i = 0; i < game.values.size(); ++i)
        text += (i % 4 == 0 ? " " : ", ") + game.values[i] + (i % 4 == 3 || i + 1 == game.values.size() ? ",\n" : "");
    for (size_t i = 0; i < game.tables.size(); ++i)
        text += " " + game.tables[i] + (i + 1 == game.tables.size() ? "}\n" : ",\n");
    return text;
}

uint64_t state_digest(long frames_run, bool ended, int32_t cursor_counter)
{
    return replay_digest(state_text(frames_run, ended, cursor_counter));
}
