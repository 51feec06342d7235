// asset_midi.cpp -- reads the bar strings of the score and writes them as a Standard MIDI File.
#include "asset_midi.h"
#include "music_score.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

constexpr int kTicksPerBeat = 480;
constexpr int kTicksPerBar = kTicksPerBeat * score::kBeatsPerBar;

struct Note {
    int tick;
    int length;
    int pitch;
    int velocity;
};

// A channel event or meta event at a tick. `order` keeps note-offs ahead of
// note-ons at the same tick, so a repeated pitch is re-struck, not cut.
struct Event {
    int tick;
    int order;
    std::vector<uint8_t> bytes;
};

// Stops the build with the place in the score that could not be read.
[[noreturn]] void fail(const std::string& where, const std::string& what)
{
    throw std::runtime_error("MUSIC4.MID score, " + where + ": " + what);
}

// The space-separated steps of one bar string.
std::vector<std::string> split_bar(const char* bar)
{
    std::istringstream in(bar);
    std::vector<std::string> tokens;
    for (std::string t; in >> t;)
        tokens.push_back(t);
    return tokens;
}

// Pitch class of a root at the front of `text` ("C", "F#", "Bb"); `used`
// tells how many characters it took. Returns -1 when there is none.
int pitch_class(const std::string& text, std::size_t& used)
{
    static constexpr int kNatural[7] = {9, 11, 0, 2, 4, 5, 7}; // A..G
    if (text.empty() || text[0] < 'A' || text[0] > 'G')
        return -1;
    int pc = kNatural[text[0] - 'A'];
    used = 1;
    if (text.size() > 1 && (text[1] == '#' || text[1] == 'b')) {
        pc += text[1] == '#' ? 1 : -1;
        used = 2;
    }
    return (pc + 12) % 12;
}

// MIDI key of a note name such as "Bb1" or "C#5" (C4 = 60), or -1.
int note_pitch(const std::string& token)
{
    std::size_t used = 0;
    const int pc = pitch_class(token, used);
    if (pc < 0 || used >= token.size())
        return -1;
    const std::string octave = token.substr(used);
    if (octave.find_first_not_of("0123456789") != std::string::npos || octave.size() > 1)
        return -1;
    const int key = (octave[0] - '0' + 1) * 12 + pc;
    return key <= 127 ? key : -1;
}

// Intervals above the root for a chord kind, or empty when unknown.
std::vector<int> chord_intervals(const std::string& kind)
{
    if (kind.empty())
        return {0, 4, 7};
    if (kind == "m")
        return {0, 3, 7};
    if (kind == "7")
        return {0, 4, 7, 10};
    if (kind == "m7")
        return {0, 3, 7, 10};
    if (kind == "maj7")
        return {0, 4, 7, 11};
    if (kind == "sus4")
        return {0, 5, 7};
    if (kind == "sus2")
        return {0, 2, 7};
    if (kind == "dim")
        return {0, 3, 6};
    return {};
}

// The pad's keys for a chord symbol: of every inversion whose lowest key
// lies between D3 and D4, the one that moves least from `previous` (the
// chord before), so the pad glides instead of jumping. Empty when the
// symbol does not parse.
std::vector<int> chord_voicing(const std::string& symbol, const std::vector<int>& previous)
{
    std::size_t used = 0;
    const int root = pitch_class(symbol, used);
    if (root < 0)
        return {};
    const std::vector<int> intervals = chord_intervals(symbol.substr(used));
    if (intervals.empty())
        return {};
    std::vector<int> best;
    int best_cost = 0;
    for (int octave_root = 36 + root; octave_root < 72; octave_root += 12) {
        for (std::size_t inversion = 0; inversion < intervals.size(); ++inversion) {
            std::vector<int> keys;
            for (std::size_t i = 0; i < intervals.size(); ++i) {
                const std::size_t j = (i + inversion) % intervals.size();
                keys.push_back(octave_root + intervals[j] + (j < inversion ? 12 : 0));
            }
            std::sort(keys.begin(), keys.end());
            if (keys.front() < 50 || keys.front() > 62)
                continue;
            int cost = 0;
            if (previous.empty()) {
                // The first chord sits in root position near D3.
                cost = std::abs(keys.front() - (48 + root)) + int(inversion) * 12;
            } else {
                for (std::size_t i = 0; i < keys.size(); ++i)
                    cost += std::abs(keys[i] - previous[std::min(i, previous.size() - 1)]);
            }
            if (best.empty() || cost < best_cost) {
                best = keys;
                best_cost = cost;
            }
        }
    }
    return best;
}

// Reads one melodic part of the whole form into notes. A held "-" carries
// the sounding note (or chord) on, across bar lines too.
std::vector<Note> read_part(const score::Voice& voice, std::vector<const char*> score::Section::* part, bool chords)
{
    std::vector<Note> notes;
    std::vector<int> sounding;      // keys of the open note or chord
    std::vector<int> last_chord;    // for the pad's voice leading
    int start = 0;
    int end = 0;
    auto close = [&]() {
        const int length = std::max(1, (end - start) * voice.gate_percent / 100);
        const bool on_beat = start % kTicksPerBeat == 0;
        for (int key : sounding)
            notes.push_back({start, length, key, std::min(127, voice.velocity + (on_beat ? voice.beat_accent : 0))});
        sounding.clear();
    };

    int bar_tick = 0;
    for (const score::Section& section : score::kForm) {
        const std::vector<const char*>& bars = section.*part;
        for (std::size_t b = 0; b < bars.size(); ++b, bar_tick += kTicksPerBar) {
            const std::string where = std::string(section.name) + " bar " + std::to_string(b + 1) + " of " + voice.track_name;
            const std::vector<std::string> tokens = split_bar(bars[b]);
            if (tokens.empty() || kTicksPerBar % int(tokens.size()) != 0)
                fail(where, "a bar must split into 1, 2, 3, 4, 6, 8, 12 or 16 equal steps");
            const int step = kTicksPerBar / int(tokens.size());
            for (std::size_t i = 0; i < tokens.size(); ++i) {
                const int tick = bar_tick + int(i) * step;
                const std::string& token = tokens[i];
                if (token == "-") {
                    if (sounding.empty())
                        fail(where, "\"-\" holds nothing");
                    end = tick + step;
                    continue;
                }
                if (!sounding.empty())
                    close();
                if (token == ".")
                    continue;
                if (chords) {
                    sounding = chord_voicing(token, last_chord);
                    last_chord = sounding;
                } else if (const int key = note_pitch(token); key >= 0) {
                    sounding = {key};
                }
                if (sounding.empty())
                    fail(where, "cannot read \"" + token + "\"");
                start = tick;
                end = tick + step;
            }
        }
    }
    if (!sounding.empty())
        close();
    return notes;
}

// Bars in the whole form; fails when a section's parts disagree on its
// length, which would slide the parts apart for the rest of the piece.
int total_bars()
{
    int bars = 0;
    for (const score::Section& section : score::kForm) {
        const std::size_t n = section.bass.size();
        if (section.melody.size() != n || section.pad.size() != n || section.drums.size() != n)
            fail(section.name, "its parts have different numbers of bars");
        bars += int(n);
    }
    return bars;
}

// Reads the drum part: each bar's groove, voice by voice, one sixteenth a
// step. Drum hits last one step; the channel ignores their length anyway.
std::vector<Note> read_drums()
{
    struct Lane {
        const char* score::Groove::* steps;
        int key;
    };
    static constexpr Lane kLanes[] = {
        {&score::Groove::kick, 36},     {&score::Groove::snare, 38},    {&score::Groove::closed_hat, 42},
        {&score::Groove::open_hat, 46}, {&score::Groove::ride, 51},     {&score::Groove::crash, 49},
        {&score::Groove::high_tom, 50}, {&score::Groove::low_tom, 45},
    };
    constexpr int kStep = kTicksPerBar / 16;
    std::vector<Note> notes;
    int bar_tick = 0;
    for (const score::Section& section : score::kForm) {
        for (std::size_t b = 0; b < section.drums.size(); ++b, bar_tick += kTicksPerBar) {
            const std::string where = std::string(section.name) + " bar " + std::to_string(b + 1) + " of the drums";
            const auto groove = std::find_if(score::kGrooves.begin(), score::kGrooves.end(),
                                             [&](const score::Groove& g) { return std::string(g.name) == section.drums[b]; });
            if (groove == score::kGrooves.end())
                fail(where, std::string("no groove named \"") + section.drums[b] + "\"");
            for (const Lane& lane : kLanes) {
                const std::string steps = (*groove).*lane.steps;
                if (steps.size() != 16)
                    fail(where, std::string("groove \"") + groove->name + "\" needs 16 steps per voice");
                for (int i = 0; i < 16; ++i) {
                    const char c = steps[std::size_t(i)];
                    const int velocity = c == 'X' ? 118 : c == 'x' ? 92 : c == 'g' ? 48 : 0;
                    if (velocity > 0)
                        notes.push_back({bar_tick + i * kStep, kStep, lane.key, velocity});
                    else if (c != '.')
                        fail(where, std::string("groove \"") + groove->name + "\" has an unknown step mark");
                }
            }
        }
    }
    return notes;
}

// Appends v as `bytes` big-endian bytes, the order of every MIDI header field.
void put_be(std::vector<uint8_t>& out, uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(uint8_t(v >> (8 * i)));
}

// Appends v as a MIDI variable-length quantity: seven bits a byte, most
// significant first, the high bit set on all but the last.
void put_varlen(std::vector<uint8_t>& out, uint32_t v)
{
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = uint8_t(v & 0x7f);
        v >>= 7;
    } while (v != 0);
    while (n > 1)
        out.push_back(uint8_t(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

// A meta event (track name, tempo, marker...) of `type` carrying `data`.
Event meta(int tick, uint8_t type, const std::string& data)
{
    Event e{tick, 0, {0xff, type}};
    put_varlen(e.bytes, uint32_t(data.size()));
    e.bytes.insert(e.bytes.end(), data.begin(), data.end());
    return e;
}

// One MTrk chunk: events sorted by tick (offs before ons), then the
// end-of-track mark on `end_tick`, the final bar line.
std::vector<uint8_t> track_chunk(std::vector<Event> events, int end_tick)
{
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    events.push_back(meta(end_tick, 0x2f, ""));
    std::vector<uint8_t> body;
    int now = 0;
    for (const Event& e : events) {
        if (e.tick < now || e.tick > end_tick)
            fail("track", "an event falls outside the piece");
        put_varlen(body, uint32_t(e.tick - now));
        now = e.tick;
        body.insert(body.end(), e.bytes.begin(), e.bytes.end());
    }
    std::vector<uint8_t> chunk = {'M', 'T', 'r', 'k'};
    put_be(chunk, uint32_t(body.size()), 4);
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

// A part's events: its name, its instrument and mix settings at tick 0,
// then a note-on and a note-off for every note.
std::vector<Event> voice_events(const score::Voice& voice, const std::vector<Note>& notes)
{
    const uint8_t ch = uint8_t(voice.channel);
    std::vector<Event> events = {
        meta(0, 0x03, voice.track_name),
        {0, 1, {uint8_t(0xc0 | ch), uint8_t(voice.gm_program - 1)}},
        {0, 1, {uint8_t(0xb0 | ch), 7, uint8_t(voice.volume)}},
        {0, 1, {uint8_t(0xb0 | ch), 10, uint8_t(voice.pan)}},
        {0, 1, {uint8_t(0xb0 | ch), 91, uint8_t(voice.reverb)}},
    };
    for (const Note& n : notes) {
        events.push_back({n.tick, 3, {uint8_t(0x90 | ch), uint8_t(n.pitch), uint8_t(n.velocity)}});
        events.push_back({n.tick + n.length, 2, {uint8_t(0x80 | ch), uint8_t(n.pitch), 64}});
    }
    return events;
}

} // namespace

std::vector<uint8_t> midi_file_bytes()
{
    const int end_tick = total_bars() * kTicksPerBar;

    std::vector<Event> conductor = {meta(0, 0x03, score::kTitle)};
    const uint32_t us_per_beat = uint32_t(60000000 / score::kTempoBpm);
    std::string tempo;
    for (int i = 2; i >= 0; --i)
        tempo.push_back(char(us_per_beat >> (8 * i)));
    conductor.push_back(meta(0, 0x51, tempo));
    conductor.push_back(meta(0, 0x58, std::string{char(score::kBeatsPerBar), 2, 24, 8}));
    conductor.push_back(meta(0, 0x59, std::string{char(-score::kKeyFlats), 1}));
    int bar_tick = 0;
    for (const score::Section& section : score::kForm) {
        conductor.push_back(meta(bar_tick, 0x06, section.name));
        bar_tick += int(section.bass.size()) * kTicksPerBar;
    }

    std::vector<std::vector<uint8_t>> tracks;
    tracks.push_back(track_chunk(conductor, end_tick));
    tracks.push_back(track_chunk(voice_events(score::kBass, read_part(score::kBass, &score::Section::bass, false)), end_tick));
    tracks.push_back(track_chunk(voice_events(score::kMelody, read_part(score::kMelody, &score::Section::melody, false)), end_tick));
    tracks.push_back(track_chunk(voice_events(score::kPad, read_part(score::kPad, &score::Section::pad, true)), end_tick));
    tracks.push_back(track_chunk(voice_events(score::kDrums, read_drums()), end_tick));

    std::vector<uint8_t> file = {'M', 'T', 'h', 'd'};
    put_be(file, 6, 4);
    put_be(file, 1, 2); // format 1: parallel tracks
    put_be(file, uint32_t(tracks.size()), 2);
    put_be(file, kTicksPerBeat, 2);
    for (const std::vector<uint8_t>& t : tracks)
        file.insert(file.end(), t.begin(), t.end());
    return file;
}
