// music_score.h -- "Night Watch", the game's music (MUSIC4.MID), written out bar by bar.
//
// How to read and change it:
//  - Each section lists its bars for every part, one string per bar. A
//    section's parts must have the same number of bars.
//  - A bar string is split on spaces into equal steps: 8 tokens are eighth
//    notes, 16 are sixteenths, 4 quarters, 2 halves, 1 the whole bar.
//  - A token is a note ("D2", "Bb1", "C#5"; C4 is middle C), "." for
//    silence, or "-" to hold whatever sounds for one more step, across a
//    bar line too.
//  - The pad takes chord symbols instead of notes: a root ("D", "Bb",
//    "F#") and a kind: "" major, "m" minor, "7", "m7", "maj7", "sus4",
//    "sus2", "dim". make_assets picks the voicing closest to the chord
//    before, kept in the dark middle register.
//  - The drum part names a groove per bar; the grooves are drawn below as
//    16 sixteenth-note steps per voice: "x" a hit, "X" an accent, "g" a
//    ghost, "." nothing.
//
// The piece: D minor, 144 bpm, 4/4, 48 bars (80 s): intro 4, A 16, B 8, A' 16,
// outro 4. It ends on a held D minor chord cut at the final bar line, and
// the intro starts on D minor, so the game's restart loops without a seam.
#pragma once

#include <vector>

namespace score {

constexpr int kTempoBpm = 144;
constexpr int kBeatsPerBar = 4;
constexpr const char* kTitle = "Night Watch";
// Key signature written into the file: one flat, minor.
constexpr int kKeyFlats = 1;

// One melodic part and how it is played. gm_program counts from 1 as in the
// General MIDI list; gate is the share of each written length that sounds.
struct Voice {
    const char* track_name;
    int channel;    // 0-based; 9 is the drum channel
    int gm_program;
    int velocity;
    int beat_accent; // added to notes that start on a beat
    int gate_percent;
    int volume;     // controller 7
    int pan;        // controller 10, 64 centre
    int reverb;     // controller 91
};

constexpr Voice kBass{"Bass (Synth Bass 1)", 0, 39, 92, 12, 78, 112, 64, 16};
constexpr Voice kMelody{"Melody (Lead 2 sawtooth)", 1, 82, 96, 8, 92, 88, 76, 56};
constexpr Voice kPad{"Pad (Pad 2 warm)", 2, 90, 62, 0, 100, 92, 52, 80};
// The drums take their loudness from the groove marks and last one step.
constexpr Voice kDrums{"Drums", 9, 1, 0, 0, 0, 110, 64, 28};

struct Groove {
    const char* name;
    const char* kick;       // 36
    const char* snare;      // 38
    const char* closed_hat; // 42
    const char* open_hat;   // 46
    const char* ride;       // 51
    const char* crash;      // 49
    const char* high_tom;   // 50
    const char* low_tom;    // 45
};

inline const std::vector<Groove> kGrooves = {
    //       kick                snare               closed hat          open hat            ride                crash               high tom            low tom
    {"tick", "x...............", "................", "..x...x...x...x.", "................", "................", "................", "................", "................"},
    {"build", "x...x...x...x...", "............x...", "x.x.x.x.x.x.x.x.", "................", "................", "................", "................", "................"},
    {"drive", "X.......x.x.....", "....X.......X...", "x.x.x.x.x.x.x.x.", "................", "................", "................", "................", "................"},
    {"crash", "X.......x.x.....", "....X.......X...", "..x.x.x.x.x.x.x.", "................", "................", "X...............", "................", "................"},
    {"push", "X.......x.x...x.", "....X.......X..g", "x.x.x.x.x.x.x...", "..............x.", "................", "................", "................", "................"},
    {"drive16", "X.......x.x.....", "....X.......X...", "XxxxXxxxXxxxXxxx", "................", "................", "................", "................", "................"},
    {"crash16", "X.......x.x.....", "....X.......X...", "..xxXxxxXxxxXxxx", "................", "................", "X...............", "................", "................"},
    {"push16", "X.......x.x...x.", "....X.......X..g", "XxxxXxxxXxxxXx..", "..............x.", "................", "................", "................", "................"},
    {"half", "X.........x.....", "........X.......", "................", "................", "x.x.x.x.x.x.x.x.", "................", "................", "................"},
    {"halfcrash", "X.........x.....", "........X.......", "................", "................", "..x.x.x.x.x.x.x.", "X...............", "................", "................"},
    {"fill", "X.......x.......", "....X.......x.xX", "x.x.x.x.........", "................", "................", "................", "X.x.x...........", "...........x.X.."},
    {"end", "X...............", "................", "................", "................", "................", "X...............", "................", "................"},
};

struct Section {
    const char* name;
    std::vector<const char*> bass;
    std::vector<const char*> melody;
    std::vector<const char*> pad;
    std::vector<const char*> drums;
};

// The theme's bass and chords, played under both tunes of A and A'.
struct Theme {
    std::vector<const char*> bass;
    std::vector<const char*> pad;
};

inline const Theme kTheme = {
    {"D2 D2 D3 D2 D2 D2 C3 D2",
     "D2 D2 D3 D2 D2 D2 A2 C3",
     "Bb1 Bb1 Bb2 Bb1 Bb1 Bb1 A2 Bb1",
     "A1 A1 A2 A1 A1 A1 G2 E2",

     "D2 D2 D3 D2 D2 D2 C3 D2",
     "D2 D2 D3 D2 D2 D2 F2 E2",
     "G1 G1 G2 G1 G1 G1 F2 G1",
     "A1 A1 A2 A1 C#2 C#2 E2 C#2",

     "Bb1 Bb1 Bb2 Bb1 Bb1 Bb1 A2 Bb1",
     "C2 C2 C3 C2 C2 C2 Bb2 C2",
     "D2 D2 D3 D2 D2 D2 C3 D2",
     "D2 D2 D3 D2 F2 F2 A2 F2",

     "G1 G1 G2 G1 G1 G1 F2 G1",
     "Bb1 Bb1 Bb2 Bb1 Bb1 Bb1 C2 D2",
     "A1 A1 A2 A1 A1 A1 G2 A1",
     "A1 A1 A1 A1 C#2 C#2 E2 G2"},
    {"Dm", "Dm", "Bb", "A",
     "Dm", "Dm", "Gm", "A",
     "Bb", "C", "Dm", "Dm",
     "Gm", "Bb", "A", "A7"},
};

inline const std::vector<Section> kForm = {
    {"intro",
     {"D2 D2 D2 D2 D2 D2 D2 D2",
      "D2 D2 D2 D2 D2 D2 D2 D2",
      "D2 D2 D3 D2 D2 D2 C3 D2",
      "Bb1 Bb1 Bb1 Bb1 A1 A1 A1 A1"},
     {".",
      ".",
      ".",
      ". . . . . . A4 -"},
     {"Dm", "-", "-", "Bb A"},
     {"tick", "tick", "build", "fill"}},

    {"A",
     kTheme.bass,
     {"- - D5 - . . E5 F5",
      "E5 - D5 - . . . .",
      "F5 - - G5 F5 - D5 -",
      "E5 - - - C#5 - . .",

      "A4 - D5 - . . E5 F5",
      "G5 - F5 - E5 - . .",
      "D5 - - Bb4 - - G4 -",
      "A4 - - - . . . .",

      "F5 - F5 . G5 - A5 -",
      "G5 - E5 - C5 - . .",
      "D5 - - - . . A4 -",
      "D5 . F5 . A5 - - .",

      "Bb5 - A5 - G5 - . .",
      "F5 - G5 - F5 - D5 -",
      "E5 - - - . . C#5 -",
      "E5 - - - . . . ."},
     kTheme.pad,
     {"crash", "drive", "drive", "drive",
      "drive", "drive", "drive", "push",
      "drive", "drive", "drive", "push",
      "drive", "drive", "drive", "fill"}},

    // The middle: the Neapolitan E flat darkens it; the bass pumps octaves
    // and the drums drop to half time before driving back in.
    {"B",
     {"G1 G2 G1 G2 G1 G2 G1 G2",
      "Eb2 Eb3 Eb2 Eb3 Eb2 Eb3 Eb2 Eb3",
      "Bb1 Bb2 Bb1 Bb2 Bb1 Bb2 Bb1 Bb2",
      "A1 A2 A1 A2 A1 A2 A1 A2",

      "G1 G2 G1 G2 G1 G2 G1 G2",
      "Eb2 Eb3 Eb2 Eb3 Eb2 Eb3 Eb2 Eb3",
      "A1 A2 A1 A2 A1 A2 A1 A2",
      "A1 . A1 . A1 A1 A1 A1"},
     {"G5 - - - - - D5 -",
      "Eb5 - - - G5 - - -",
      "F5 - - - D5 - Bb4 -",
      "C#5 - - - - - E5 -",

      "G5 - - - - - Bb5 -",
      "A5 - G5 - Eb5 - - -",
      "D5 - - - E5 - - -",
      "C#5 - E5 - A5 - - ."},
     {"Gm", "Eb", "Bb", "A",
      "Gm", "Eb", "Asus4 A", "A7"},
     {"halfcrash", "half", "half", "half",
      "drive", "drive", "push", "fill"}},

    {"A'",
     kTheme.bass,
     {"A4 - D5 - . A4 E5 F5",
      "A5 - G5 - F5 - E5 -",
      "F5 - - G5 A5 - Bb5 -",
      "A5 - - - C#5 - E5 -",

      "D5 - - A4 D5 - E5 F5",
      "G5 - A5 - Bb5 - A5 -",
      "G5 - - D5 - - Bb4 -",
      "A4 - C#5 - E5 - G5 -",

      "F5 - F5 . G5 - A5 -",
      "G5 - E5 - C5 - E5 -",
      "D5 - - - . . A5 -",
      "D6 - - - A5 - F5 -",

      "Bb5 - A5 - G5 - D5 -",
      "F5 - G5 - F5 - D5 -",
      "E5 - - - A4 - C#5 -",
      "E5 - - - C#5 - - -"},
     kTheme.pad,
     {"crash16", "drive16", "drive16", "drive16",
      "drive16", "drive16", "drive16", "push16",
      "crash16", "drive16", "drive16", "push16",
      "drive16", "drive16", "drive16", "fill"}},

    {"outro",
     {"D2 D2 D3 D2 D2 D2 C3 D2",
      "Bb1 Bb1 Bb2 Bb1 Bb1 Bb1 A2 Bb1",
      "A1 A1 A2 A1 C#2 C#2 E2 C#2",
      "D2 - - - - - - -"},
     {"D5 - - - F5 - E5 -",
      "D5 - - - Bb4 - - -",
      "C#5 - - - E5 - - -",
      "D5 - - - - - - -"},
     {"Dm", "Bb", "A", "Dm"},
     {"crash", "drive", "fill", "end"}},
};

} // namespace score
