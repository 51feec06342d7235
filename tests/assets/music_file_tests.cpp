// music_file_tests.cpp -- reads back MUSIC4.MID with a reader of our own and checks it is a whole, cleanly ending General MIDI piece.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// One event of a track, at its absolute tick.
struct Event {
    uint32_t tick = 0;
    uint8_t status = 0;  // 0xff for meta events, 0xf0/0xf7 for system exclusive
    uint8_t data1 = 0;   // meta type for meta events
    uint8_t data2 = 0;
    std::string payload; // meta and system-exclusive bytes
};

// The file as read: header fields and every track's events.
struct Midi {
    std::string error; // empty when the file is well-formed
    uint16_t format = 0;
    uint16_t declared_tracks = 0;
    uint16_t division = 0;
    std::vector<std::vector<Event>> tracks;
};

// The big-endian number of `bytes` bytes at `at`.
uint32_t be(const std::vector<uint8_t>& b, std::size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | b[at + std::size_t(i)];
    return v;
}

// Reads a variable-length quantity of at most four bytes before `end`.
bool read_varlen(const std::vector<uint8_t>& b, std::size_t& at, std::size_t end, uint32_t& value)
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (at >= end)
            return false;
        const uint8_t c = b[at++];
        value = (value << 7) | (c & 0x7f);
        if (!(c & 0x80))
            return true;
    }
    return false;
}

// Reads one MTrk body. The track must end with End of Track, and that
// event must be the last bytes of the chunk.
std::string read_track(const std::vector<uint8_t>& b, std::size_t at, std::size_t end, std::vector<Event>& events)
{
    uint32_t tick = 0;
    uint8_t running = 0;
    while (at < end) {
        uint32_t delta = 0;
        if (!read_varlen(b, at, end, delta))
            return "bad delta time";
        tick += delta;
        if (at >= end)
            return "event cut off";
        Event e;
        e.tick = tick;
        uint8_t status = b[at];
        if (status < 0x80) {
            if (running == 0)
                return "data byte without a status";
            status = running;
        } else {
            ++at;
        }
        e.status = status;
        if (status == 0xff || status == 0xf0 || status == 0xf7) {
            if (status == 0xff) {
                if (at >= end)
                    return "meta event cut off";
                e.data1 = b[at++];
            }
            uint32_t length = 0;
            if (!read_varlen(b, at, end, length) || at + length > end)
                return "meta or sysex length runs past the chunk";
            e.payload.assign(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + length));
            at += length;
            running = 0;
            events.push_back(e);
            if (status == 0xff && e.data1 == 0x2f)
                return at == end ? "" : "bytes after End of Track";
            continue;
        }
        if (status >= 0xf0)
            return "unexpected system message";
        running = status;
        const int kind = status & 0xf0;
        const int data_bytes = (kind == 0xc0 || kind == 0xd0) ? 1 : 2;
        if (at + std::size_t(data_bytes) > end)
            return "channel event cut off";
        e.data1 = b[at++];
        if (data_bytes == 2)
            e.data2 = b[at++];
        if (e.data1 > 127 || e.data2 > 127)
            return "data byte above 127";
        events.push_back(e);
    }
    return "no End of Track";
}

// Reads the whole file, checking each chunk's length against the file's.
Midi read_midi(const std::string& path)
{
    Midi m;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        m.error = "cannot open " + path;
        return m;
    }
    const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 14 || std::string(b.begin(), b.begin() + 4) != "MThd" || be(b, 4, 4) < 6) {
        m.error = "no MThd header";
        return m;
    }
    m.format = uint16_t(be(b, 8, 2));
    m.declared_tracks = uint16_t(be(b, 10, 2));
    m.division = uint16_t(be(b, 12, 2));
    std::size_t at = 8 + be(b, 4, 4);
    while (at < b.size()) {
        if (at + 8 > b.size()) {
            m.error = "truncated chunk header";
            return m;
        }
        const std::size_t length = be(b, at + 4, 4);
        const std::size_t body = at + 8;
        if (body + length > b.size()) {
            m.error = "chunk length runs past the end of the file";
            return m;
        }
        if (std::string(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + 4)) == "MTrk") {
            m.tracks.emplace_back();
            const std::string error = read_track(b, body, body + length, m.tracks.back());
            if (!error.empty()) {
                m.error = "track " + std::to_string(m.tracks.size() - 1) + ": " + error;
                return m;
            }
        }
        at = body + length;
    }
    return m;
}

// A note-on with velocity 0 is a release, as every player takes it.
bool is_note_on(const Event& e)
{
    return (e.status & 0xf0) == 0x90 && e.data2 > 0;
}

bool is_note_off(const Event& e)
{
    return (e.status & 0xf0) == 0x80 || ((e.status & 0xf0) == 0x90 && e.data2 == 0);
}

// A sounded note, from its strike to its release.
struct Note {
    uint32_t start;
    uint32_t end;
    int key;
};

// Pairs note-ons with their note-offs, channel by channel. Fills `faults`
// with every re-struck, stray or unreleased note.
std::map<int, std::vector<Note>> pair_notes(const Midi& m, std::vector<std::string>& faults)
{
    struct Timed {
        uint32_t tick;
        bool on;
        int channel;
        int key;
    };
    std::vector<Timed> all;
    for (const auto& track : m.tracks)
        for (const Event& e : track)
            if (is_note_on(e) || is_note_off(e))
                all.push_back({e.tick, is_note_on(e), e.status & 0x0f, e.data1});
    // Events of one tick keep their order in the file: a release written
    // after the re-strike of its key would silence the new note.
    std::stable_sort(all.begin(), all.end(), [](const Timed& a, const Timed& b) { return a.tick < b.tick; });
    std::map<std::pair<int, int>, uint32_t> sounding;
    std::map<int, std::vector<Note>> notes;
    for (const Timed& t : all) {
        const auto key = std::make_pair(t.channel, t.key);
        const auto open = sounding.find(key);
        if (t.on) {
            if (open != sounding.end())
                faults.push_back("key " + std::to_string(t.key) + " on channel " + std::to_string(t.channel) + " struck again at tick " + std::to_string(t.tick) + " while sounding");
            sounding[key] = t.tick;
        } else if (open == sounding.end()) {
            faults.push_back("release of silent key " + std::to_string(t.key) + " at tick " + std::to_string(t.tick));
        } else {
            notes[t.channel].push_back({open->second, t.tick, t.key});
            sounding.erase(open);
        }
    }
    for (const auto& [key, tick] : sounding)
        faults.push_back("key " + std::to_string(key.second) + " on channel " + std::to_string(key.first) + " from tick " + std::to_string(tick) + " never released");
    return notes;
}

// The tick of the latest event of any track: where the piece stops.
uint32_t last_tick(const Midi& m)
{
    uint32_t last = 0;
    for (const auto& track : m.tracks)
        if (!track.empty())
            last = std::max(last, track.back().tick);
    return last;
}

// Seconds from the start to `tick`, through every tempo change in any
// track (120 bpm until the first).
double seconds_at(const Midi& m, uint32_t tick)
{
    std::vector<std::pair<uint32_t, uint32_t>> tempos; // tick, microseconds per beat
    for (const auto& track : m.tracks)
        for (const Event& e : track)
            if (e.status == 0xff && e.data1 == 0x51 && e.payload.size() == 3)
                tempos.push_back({e.tick, (uint32_t(uint8_t(e.payload[0])) << 16) | (uint32_t(uint8_t(e.payload[1])) << 8) | uint8_t(e.payload[2])});
    std::sort(tempos.begin(), tempos.end());
    double seconds = 0.0;
    uint32_t at = 0;
    uint32_t us_per_beat = 500000;
    for (const auto& [change, tempo] : tempos) {
        if (change >= tick)
            break;
        seconds += double(change - at) * us_per_beat / 1e6 / m.division;
        at = change;
        us_per_beat = tempo;
    }
    return seconds + double(tick - at) * us_per_beat / 1e6 / m.division;
}

// Ticks in one bar, from the time signature (4/4 when there is none).
uint32_t bar_ticks(const Midi& m)
{
    for (const auto& track : m.tracks)
        for (const Event& e : track)
            if (e.status == 0xff && e.data1 == 0x58 && e.payload.size() >= 2)
                return uint32_t(m.division) * 4u * uint8_t(e.payload[0]) >> uint8_t(e.payload[1]);
    return uint32_t(m.division) * 4u;
}

class Music : public ::testing::Test {
protected:
    static void SetUpTestSuite() { midi = read_midi(std::string(PELMARIC_ASSET_DIR) + "/MUSIC4.MID"); }
    static Midi midi;
};
Midi Music::midi;

TEST_F(Music, IsAFormatOneFileWithConsistentChunks)
{
    ASSERT_EQ(midi.error, "");
    EXPECT_EQ(midi.format, 1);
    EXPECT_EQ(midi.tracks.size(), midi.declared_tracks);
    EXPECT_GE(midi.tracks.size(), 4u);
    EXPECT_EQ(midi.division & 0x8000, 0) << "ticks per beat, not SMPTE";
    EXPECT_GT(midi.division, 0);
}

TEST_F(Music, NamesEveryTrack)
{
    ASSERT_EQ(midi.error, "");
    for (std::size_t t = 0; t < midi.tracks.size(); ++t) {
        const auto& track = midi.tracks[t];
        const bool named = std::any_of(track.begin(), track.end(), [](const Event& e) {
            return e.status == 0xff && e.data1 == 0x03 && !e.payload.empty();
        });
        EXPECT_TRUE(named) << "track " << t;
    }
}

TEST_F(Music, RunsBetweenOneAndTwoMinutesAtASetTempo)
{
    ASSERT_EQ(midi.error, "");
    bool tempo_at_start = false;
    for (const auto& track : midi.tracks)
        for (const Event& e : track)
            tempo_at_start |= e.status == 0xff && e.data1 == 0x51 && e.tick == 0;
    EXPECT_TRUE(tempo_at_start);
    const double length = seconds_at(midi, last_tick(midi));
    EXPECT_GE(length, 60.0);
    EXPECT_LE(length, 120.0);
}

TEST_F(Music, ReleasesEveryNoteItStrikes)
{
    ASSERT_EQ(midi.error, "");
    std::vector<std::string> faults;
    const auto notes = pair_notes(midi, faults);
    for (const std::string& f : faults)
        ADD_FAILURE() << f;
    EXPECT_FALSE(notes.empty());
}

TEST_F(Music, EndsOnTheBarLineAfterItsLastNote)
{
    ASSERT_EQ(midi.error, "");
    std::vector<std::string> faults;
    uint32_t last_release = 0;
    for (const auto& [channel, notes] : pair_notes(midi, faults))
        for (const Note& n : notes)
            last_release = std::max(last_release, n.end);
    const uint32_t bar = bar_ticks(midi);
    ASSERT_GT(bar, 0u);
    const uint32_t bar_end = (last_release + bar - 1) / bar * bar;
    const uint32_t end = last_tick(midi);
    EXPECT_GE(end, last_release);
    EXPECT_LE(end, bar_end);
    EXPECT_EQ(end % bar, 0u) << "a loop restart mid-bar would stumble";
}

TEST_F(Music, PlaysBassMelodyPadAndDrums)
{
    ASSERT_EQ(midi.error, "");
    std::vector<std::string> faults;
    const auto notes = pair_notes(midi, faults);
    EXPECT_GE(notes.size(), 4u) << "channels with notes";

    ASSERT_TRUE(notes.count(9)) << "no percussion on channel 10";
    for (const Note& n : notes.at(9))
        EXPECT_TRUE(n.key >= 35 && n.key <= 81) << "key " << n.key << " is no General MIDI drum";

    std::set<int> programmed;
    for (const auto& track : midi.tracks)
        for (const Event& e : track)
            if ((e.status & 0xf0) == 0xc0)
                programmed.insert(e.status & 0x0f);

    int bass = -1, melody = -1, pad = -1;
    for (const auto& [channel, list] : notes) {
        if (channel == 9)
            continue;
        EXPECT_TRUE(programmed.count(channel)) << "channel " << channel << " plays without a program change";
        std::vector<int> keys;
        for (const Note& n : list)
            keys.push_back(n.key);
        std::nth_element(keys.begin(), keys.begin() + std::ptrdiff_t(keys.size() / 2), keys.end());
        const int median = keys[keys.size() / 2];
        // Most notes of a pad start together with two others.
        std::map<uint32_t, int> starts;
        for (const Note& n : list)
            ++starts[n.start];
        std::size_t in_chords = 0;
        for (const Note& n : list)
            in_chords += starts[n.start] >= 3 ? 1 : 0;
        const bool chordal = in_chords * 2 > list.size();
        const bool single_line = std::all_of(starts.begin(), starts.end(), [](const auto& s) { return s.second == 1; });
        if (chordal && pad < 0)
            pad = channel;
        else if (single_line && median < 48 && bass < 0)
            bass = channel;
        else if (single_line && median >= 60 && melody < 0)
            melody = channel;
    }
    EXPECT_GE(bass, 0) << "no low single line";
    EXPECT_GE(melody, 0) << "no high single line";
    EXPECT_GE(pad, 0) << "no chords";
}

} // namespace
