// midi_length_test.cpp -- the piece's length as read from its MIDI file.
#include "platform/core/midi_length.h"
#include "tests/audio/audio_support.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes tempo(uint32_t delta, uint32_t micros)
{
    return cat({vlq(delta), {0xFF, 0x51, 0x03, uint8_t(micros >> 16), uint8_t(micros >> 8), uint8_t(micros)}});
}

Bytes end_of_track(uint32_t delta) { return cat({vlq(delta), {0xFF, 0x2F, 0x00}}); }

double length_of(const Bytes& file)
{
    double seconds = -1.0;
    EXPECT_TRUE(midi_length_seconds(file.data(), file.size(), &seconds));
    return seconds;
}

bool readable(const Bytes& file)
{
    double seconds = -1.0;
    return midi_length_seconds(file.data(), file.size(), &seconds);
}

// Two notes, then a tempo change in the tempo track halves the pace: 480
// ticks at 0.5 s a beat, then 720 at 1 s a beat.
Bytes two_tempo_piece()
{
    Bytes tempos = cat({tempo(0, 500000), tempo(480, 1000000), end_of_track(0)});
    Bytes notes = cat({vlq(0), {0x90, 60, 100}, vlq(400), {0x80, 60, 0}, vlq(80), {0x90, 64, 100},
                       vlq(400), {0x80, 64, 0}, end_of_track(320)});
    return smf(1, 480, {tempos, notes});
}

TEST(MidiLength, AppliesTempoChangesAcrossTracksUpToTheLastEndOfTrack)
{
    EXPECT_NEAR(length_of(two_tempo_piece()), 0.5 + 720.0 / 480.0, 1e-9);

    // The same notes at the default tempo, with no tempo event at all.
    Bytes notes = cat({vlq(0), {0x90, 60, 100}, vlq(960), {0x80, 60, 0}, end_of_track(0)});
    EXPECT_NEAR(length_of(smf(0, 96, {notes})), 960.0 / 96.0 * 0.5, 1e-9);

    // Two tempo changes at one tick: the later one counts. One at the last
    // event's tick changes nothing.
    Bytes tempos = cat({tempo(0, 250000), tempo(0, 1000000), tempo(960, 100000), end_of_track(0)});
    EXPECT_NEAR(length_of(smf(1, 100, {tempos, notes})), 960.0 / 100.0, 1e-9);
}

TEST(MidiLength, ReadsRunningStatusSysExAndOtherChunks)
{
    // Running status for the note-offs, a program change (one data byte), a
    // SysEx, a text meta event, and an unknown chunk before the track.
    Bytes track = cat({vlq(0), {0xC0, 5}, vlq(0), {0xF0, 0x03, 0x7E, 0x7F, 0xF7}, vlq(0), {0x90, 60, 100},
                       vlq(10), {62, 100}, vlq(90), {60, 0}, vlq(0), {0xFF, 0x01, 0x02, 'h', 'i'},
                       vlq(100), {0x90, 62, 0}, end_of_track(0)});
    Bytes file = smf(0, 200, {track});
    Bytes odd_chunk = {'X', 'Y', 'Z', 'W', 0, 0, 0, 2, 1, 2};
    file.insert(file.begin() + 14, odd_chunk.begin(), odd_chunk.end());
    EXPECT_NEAR(length_of(file), 200.0 / 200.0 * 0.5, 1e-9);
}

// What FluidSynth would refuse with a line on stderr, or misread, is refused
// here before it gets there.
TEST(MidiLength, RefusesWhatTheSynthesizerCannotPlay)
{
    Bytes note = cat({vlq(0), {0x90, 60, 100}, vlq(96), {0x80, 60, 0}});
    EXPECT_TRUE(readable(smf(0, 96, {cat({note, end_of_track(0)})})));

    // Time code: 25 frames a second, 40 ticks a frame.
    Bytes time_code = smf(0, 0, {cat({note, end_of_track(0)})});
    time_code[12] = uint8_t(-25);
    time_code[13] = 40;
    EXPECT_FALSE(readable(time_code));

    Bytes huge_delta = note;
    for (int i = 0; i < 8; ++i)
        huge_delta = cat({huge_delta, vlq(0x0FFFFFFF), {0x80, 60, 0}});
    const std::vector<std::pair<const char*, Bytes>> tracks = {
        {"escape event", cat({note, vlq(0), {0xF7, 0x00}, end_of_track(0)})},
        {"system message", cat({note, vlq(0), {0xF2, 0x10, 0x10}, end_of_track(0)})},
        {"real-time byte", cat({note, vlq(0), {0xF8}, end_of_track(0)})},
        {"data byte over 127", cat({vlq(0), {0x90, 0xBC, 100}, end_of_track(0)})},
        {"running status after a meta event", cat({note, vlq(0), {0xFF, 0x01, 0x01, 'x'}, vlq(0), {60, 0}, end_of_track(0)})},
        {"running status after SysEx", cat({note, vlq(0), {0xF0, 0x01, 0xF7}, vlq(0), {60, 0}, end_of_track(0)})},
        {"tempo of two bytes", cat({vlq(0), {0xFF, 0x51, 0x02, 0x07, 0xA1}, note, end_of_track(0)})},
        {"End of Track with a body", cat({note, vlq(0), {0xFF, 0x2F, 0x01, 0x00}})},
        {"time signature of three bytes", cat({vlq(0), {0xFF, 0x58, 0x03, 4, 2, 24}, note, end_of_track(0)})},
        {"key signature of one byte", cat({vlq(0), {0xFF, 0x59, 0x01, 0}, note, end_of_track(0)})},
        {"SMPTE offset of four bytes", cat({vlq(0), {0xFF, 0x54, 0x04, 0, 0, 0, 0}, note, end_of_track(0)})},
        {"2^31 ticks", cat({huge_delta, end_of_track(8)})},
    };
    for (const auto& [what, track] : tracks)
        EXPECT_FALSE(readable(smf(0, 96, {track}))) << what;

    Bytes good = smf(1, 96, {cat({note, end_of_track(0)})});
    Bytes long_header = good;
    long_header[7] = 8;
    long_header.insert(long_header.begin() + 14, {0, 0});
    EXPECT_FALSE(readable(long_header)) << "a header of eight bytes";
    Bytes format_three = good;
    format_three[9] = 3;
    EXPECT_FALSE(readable(format_three));
    Bytes odd_chunk_type = good;
    Bytes chunk = {0xC4, 'X', 'Y', 'Z', 0, 0, 0, 0};
    odd_chunk_type.insert(odd_chunk_type.begin() + 14, chunk.begin(), chunk.end());
    EXPECT_FALSE(readable(odd_chunk_type)) << "a chunk type that is not ASCII";
    EXPECT_FALSE(readable(smf(1, 96, std::vector<Bytes>(256, cat({note, end_of_track(0)}))))) << "256 tracks";

    // At most 1000 events within 0.1 s, whatever the tracks and tempo: 999
    // at one tick pass, 1001 do not, nor 1001 a tick apart at a quarter note
    // a millisecond (96 ticks a quarter), nor 1000 at 0 and 1000 more at
    // 99 ms over five tracks; with the second thousand at 101 ms they pass.
    auto chord = [](int notes, uint32_t gap) {
        Bytes track;
        for (int i = 0; i < notes; ++i)
            track = cat({track, vlq(i == 0 ? 0 : gap), {0x90, uint8_t(i % 128), 100}, vlq(0), {0x80, uint8_t(i % 128), 0}});
        return track;
    };
    // The End of Track events count too: one fewer note leaves room for it.
    EXPECT_TRUE(readable(smf(0, 96, {cat({chord(499, 0), end_of_track(0)})})));
    EXPECT_FALSE(readable(smf(0, 96, {cat({chord(500, 0), end_of_track(0)})})));
    Bytes fast = tempo(0, 1000);
    EXPECT_FALSE(readable(smf(1, 96, {cat({fast, end_of_track(0)}), cat({chord(500, 1), end_of_track(0)})})));
    // 96 ticks a millisecond at this tempo: 99 ms is 9504 ticks.
    Bytes half = cat({chord(249, 0), end_of_track(0)});
    Bytes later = cat({vlq(9504), {0xFF, 0x01, 0x00}, chord(249, 0), end_of_track(0)});
    EXPECT_FALSE(readable(smf(1, 96, {cat({fast, end_of_track(0)}), half, half, later, later})));
    Bytes spread = cat({vlq(9696), {0xFF, 0x01, 0x00}, chord(249, 0), end_of_track(0)});
    EXPECT_TRUE(readable(smf(1, 96, {cat({fast, end_of_track(0)}), half, half, spread, spread})));

    // Sound, but over the size limit; and a file just under it.
    Bytes notes;
    while (notes.size() + note.size() < kMaxMusicFileBytes - 100)
        notes.insert(notes.end(), note.begin(), note.end());
    EXPECT_TRUE(readable(smf(0, 96, {cat({notes, end_of_track(0)})})));
    for (int i = 0; i < 16; ++i)
        notes.insert(notes.end(), note.begin(), note.end());
    EXPECT_FALSE(readable(smf(0, 96, {cat({notes, end_of_track(0)})})));
}

TEST(MidiLength, RefusesWhatItCannotReadThrough)
{
    Bytes good = two_tempo_piece();
    EXPECT_TRUE(readable(good));
    for (size_t cut : {size_t(0), size_t(10), size_t(20), good.size() - 1})
        EXPECT_FALSE(readable(Bytes(good.begin(), good.begin() + long(cut)))) << "cut at " << cut;

    Bytes not_midi = wav_bytes(sine(440, 0.01, 0.5, 8000), 8000);
    EXPECT_FALSE(readable(not_midi));

    // Data bytes with no status to run on.
    EXPECT_FALSE(readable(smf(0, 96, {cat({vlq(0), {60, 100}, end_of_track(0)})})));
    // Fewer tracks than the header announces.
    Bytes short_of_tracks = good;
    short_of_tracks[11] = 3;
    EXPECT_FALSE(readable(short_of_tracks));
    // A division of zero ticks.
    EXPECT_FALSE(readable(smf(0, 0, {end_of_track(0)})));

    double untouched = 7.0;
    EXPECT_FALSE(midi_length_seconds(not_midi.data(), not_midi.size(), &untouched));
    EXPECT_EQ(untouched, 7.0);
}

TEST(MidiLength, ReadsTheGamesOwnMusic)
{
    std::string path = std::string(PELMARIC_ASSET_DIR) + "/MUSIC4.MID";
    Bytes file = read_bytes(path);
    if (file.empty())
        GTEST_SKIP() << "no " << path << " (the asset generator has not made it)";
    double seconds = length_of(file);
    EXPECT_GT(seconds, 1.0);
    EXPECT_LT(seconds, 600.0);
    RecordProperty("music_seconds", std::to_string(seconds));
}

} // namespace
