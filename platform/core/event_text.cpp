// event_text.cpp -- reads and writes the runner's event lines.
#include "platform/core/event_text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// A whole decimal number within [min, max], nothing else in the word.
bool read_whole(const std::string& word, long min, long max, long& out)
{
    if (word.empty() || word.find_first_not_of("+-0123456789") != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(word.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    out = v;
    return true;
}

// A decimal number (digits, sign, point, exponent: no "inf", "nan" or hex)
// that strtod reads whole and that fits a float. Tiny values, subnormals
// among them, are fine: they round to the nearest float like any other.
bool read_decimal(const std::string& word, float& out)
{
    if (word.empty() || word.find_first_not_of("+-.0123456789eE") != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(word.c_str(), &end);
    if (*end != '\0' || end == word.c_str() || !std::isfinite(v))
        return false;
    float f = float(v);
    if (!std::isfinite(f))
        return false;
    out = f;
    return true;
}

} // namespace

LineRead read_event_line(const char* line, size_t length, TimedEvent& out, std::string& why)
{
    if (std::memchr(line, '\0', length) != nullptr) {
        why = "a NUL byte in the line";
        return LineRead::Malformed;
    }
    std::string text(line, length);
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    std::string::size_type hash = text.find('#');
    if (hash != std::string::npos)
        text.erase(hash);

    std::vector<std::string> w;
    for (std::string::size_type at = 0;;) {
        at = text.find_first_not_of(" \t\v\f\r", at);
        if (at == std::string::npos)
            break;
        std::string::size_type end = text.find_first_of(" \t\v\f\r", at);
        w.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos)
            break;
        at = end;
    }
    if (w.empty())
        return LineRead::Nothing;

    auto malformed = [&](const std::string& reason) {
        why = reason;
        return LineRead::Malformed;
    };
    TimedEvent t{};
    if (!read_whole(w[0], 1, 1000000000L, t.frame))
        return malformed("the frame must be a whole number from 1");
    if (w.size() < 2)
        return malformed("missing event kind");
    const std::string& kind = w[1];
    const size_t args = w.size() - 2;
    if (kind == "move" || kind == "mousedown") {
        float x = 0, y = 0;
        if (args != 2 || !read_decimal(w[2], x) || !read_decimal(w[3], y))
            return malformed(kind + " takes two decimal numbers X Y");
        t.event = kind == "move" ? mouse_move(x, y) : mouse_down(x, y);
    } else if (kind == "keydown" || kind == "keypress") {
        long code = 0;
        if (args != 1 || !read_whole(w[2], -32768, 32767, code))
            return malformed(kind + " takes one key code from -32768 to 32767");
        t.event = kind == "keydown" ? key_down(int16_t(code)) : key_press(int16_t(code));
    } else if (kind == "music-done") {
        if (args != 0)
            return malformed("music-done takes no arguments");
        t.event = music_done();
    } else {
        return malformed("unknown event kind"); // the caller shows the line
    }
    out = t;
    return LineRead::Event;
}

std::string write_event_line(long frame, const WindowEvent& e)
{
    char text[96];
    switch (e.kind) {
    case EventKind::KeyDown: std::snprintf(text, sizeof text, "%ld keydown %d", frame, e.code); break;
    case EventKind::KeyPress: std::snprintf(text, sizeof text, "%ld keypress %d", frame, e.code); break;
    case EventKind::MouseMove: std::snprintf(text, sizeof text, "%ld move %.9g %.9g", frame, double(e.x), double(e.y)); break;
    case EventKind::MouseDown:
        std::snprintf(text, sizeof text, "%ld mousedown %.9g %.9g", frame, double(e.x), double(e.y));
        break;
    case EventKind::MusicDone: std::snprintf(text, sizeof text, "%ld music-done", frame); break;
    }
    return text;
}
