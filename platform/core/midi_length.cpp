// midi_length.cpp -- reads a MIDI file's tempo map and last event to time the piece.
#include "platform/core/midi_length.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// At most this many events within any kWindowMicros of the piece: ten
// thousand a second, far beyond any real piece, and few enough that the
// synthesizer plays a buffer's worth of them within a few milliseconds.
constexpr size_t kMaxEventsPerWindow = 1000;
constexpr double kWindowMicros = 100000.0;

// A tempo change: from `tick` on, a quarter note lasts `micros` microseconds.
struct TempoChange {
    uint64_t tick;
    uint32_t micros;
};

// A cursor over bytes that refuses to read past its end.
struct Reader {
    const uint8_t* at;
    const uint8_t* end;

    bool byte(uint8_t* out)
    {
        if (at >= end)
            return false;
        *out = *at++;
        return true;
    }

    bool skip(uint64_t count)
    {
        if (count > uint64_t(end - at))
            return false;
        at += count;
        return true;
    }

    // A variable-length quantity: at most four bytes of seven bits each.
    bool vlq(uint32_t* out)
    {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b;
            if (!byte(&b))
                return false;
            value = (value << 7) | (b & 0x7F);
            if ((b & 0x80) == 0) {
                *out = value;
                return true;
            }
        }
        return false;
    }
};

uint32_t big_endian(const uint8_t* p, int bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | p[i];
    return value;
}

// The length a meta event of `type` must have for the synthesizer to take
// it, or -1 when any length will do.
int required_meta_length(uint8_t type)
{
    switch (type) {
    case 0x2F: return 0; // End of Track
    case 0x51: return 3; // tempo
    case 0x54: return 5; // SMPTE offset
    case 0x58: return 4; // time signature
    case 0x59: return 2; // key signature
    default: return -1;
    }
}

// Walks one track's events. Adds its tempo changes to `tempos` and the tick
// of each event to `event_ticks`, and gives the tick of its last event.
// False when the track is cut short, holds a byte that is no event, or holds
// an event the synthesizer would refuse with a message on the terminal.
bool read_track(Reader track, std::vector<TempoChange>& tempos, std::vector<uint32_t>& event_ticks,
                uint64_t* last_tick)
{
    uint64_t tick = 0;
    uint8_t running = 0;
    while (track.at < track.end) {
        uint32_t delta;
        if (!track.vlq(&delta))
            return false;
        tick += delta;
        // The synthesizer counts ticks in a signed 32-bit integer.
        if (tick > uint64_t(INT32_MAX))
            return false;
        event_ticks.push_back(uint32_t(tick));

        uint8_t status;
        if (!track.byte(&status))
            return false;
        if (status < 0x80) {
            // Running status: the byte just read is the first data byte.
            if (running == 0)
                return false;
            --track.at;
            status = running;
        }

        if (status == 0xFF) {
            // Meta and SysEx events cancel the running status, as the file
            // format says and as the synthesizer reads them: a data byte
            // after one would be misread there.
            running = 0;
            uint8_t type;
            uint32_t length;
            if (!track.byte(&type) || !track.vlq(&length))
                return false;
            const uint8_t* body = track.at;
            if (!track.skip(length))
                return false;
            int required = required_meta_length(type);
            if (required >= 0 && length != uint32_t(required))
                return false;
            if (type == 0x51) {
                uint32_t micros = big_endian(body, 3);
                if (micros == 0)
                    return false;
                tempos.push_back(TempoChange{tick, micros});
            } else if (type == 0x2F) {
                break; // End of Track: anything after it is not played.
            }
        } else if (status == 0xF0) {
            running = 0;
            uint32_t length;
            if (!track.vlq(&length) || !track.skip(length))
                return false;
        } else if (status >= 0xF0) {
            // The escape (F7) and the system messages: the synthesizer
            // knows none of them in a file.
            return false;
        } else {
            running = status;
            uint8_t kind = status & 0xF0;
            int data_bytes = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
            for (int i = 0; i < data_bytes; ++i) {
                uint8_t data;
                if (!track.byte(&data) || data >= 0x80)
                    return false;
            }
        }
    }
    *last_tick = tick;
    return true;
}

// Times in microseconds from ticks, through the piece's tempo changes in
// time order. Asked for ticks in rising order, as its cursor only advances.
struct TempoMap {
    const std::vector<TempoChange>& changes;
    uint32_t division;
    size_t next = 0;         // the first change not yet passed
    uint64_t from_tick = 0;  // where the tempo in force began
    double from_micros = 0.0;
    uint32_t tempo = 500000; // 120 quarter notes a minute until told otherwise

    double micros_at(uint64_t tick)
    {
        // A change at the very tick asked for does not apply to it.
        while (next < changes.size() && changes[next].tick < tick) {
            from_micros += double(changes[next].tick - from_tick) * tempo / division;
            from_tick = changes[next].tick;
            tempo = changes[next].micros;
            ++next;
        }
        return from_micros + double(tick - from_tick) * tempo / division;
    }
};

// True when all four bytes of a chunk's type are ASCII, as the synthesizer
// demands of every chunk it passes over.
bool ascii_chunk_type(const uint8_t* type)
{
    return type[0] < 0x80 && type[1] < 0x80 && type[2] < 0x80 && type[3] < 0x80;
}

} // namespace

bool midi_length_seconds(const uint8_t* data, size_t size, double* seconds)
{
    Reader file{data, data + size};
    if (size < 14 || size > kMaxMusicFileBytes ||
        big_endian(data, 4) != big_endian(reinterpret_cast<const uint8_t*>("MThd"), 4))
        return false;
    // The synthesizer reads the header as exactly six bytes, a format of 0,
    // 1 or 2, and a track count from its low byte only.
    if (big_endian(data + 4, 4) != 6 || !file.skip(14))
        return false;
    uint32_t format = big_endian(data + 8, 2);
    uint32_t track_count = big_endian(data + 10, 2);
    uint32_t division = big_endian(data + 12, 2);
    // A division in time code (its top bit set) is one the synthesizer
    // cannot play: it refuses the file with a message.
    if (format > 2 || track_count == 0 || track_count > 255 || division == 0 || (division & 0x8000) != 0)
        return false;

    std::vector<TempoChange> tempos;
    std::vector<uint32_t> event_ticks;
    uint64_t last_tick = 0;
    uint32_t tracks_read = 0;
    while (tracks_read < track_count && file.at < file.end) {
        if (file.end - file.at < 8 || !ascii_chunk_type(file.at))
            return false;
        uint32_t type = big_endian(file.at, 4);
        uint32_t length = big_endian(file.at + 4, 4);
        file.skip(8);
        const uint8_t* body = file.at;
        if (!file.skip(length))
            return false;
        // Chunks of other types are to be passed over, by the file format's rule.
        if (type != big_endian(reinterpret_cast<const uint8_t*>("MTrk"), 4))
            continue;
        uint64_t track_last = 0;
        if (!read_track(Reader{body, body + length}, tempos, event_ticks, &track_last))
            return false;
        last_tick = std::max(last_tick, track_last);
        ++tracks_read;
    }
    if (tracks_read != track_count)
        return false;

    // Tempo changes from every track, in time order; of two at one tick the
    // later in the file wins, hence the stable sort.
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    TempoMap map{tempos, division};

    // The synthesizer plays every event falling in a buffer of output inside
    // the mixer's lock, which the game's thread waits for to start an
    // effect: a burst of thousands of events at once would freeze the game.
    // Each track is in time order already, so the sort merges runs.
    std::stable_sort(event_ticks.begin(), event_ticks.end());
    std::vector<double> window; // the times of the last kMaxEventsPerWindow events, as a ring
    window.reserve(kMaxEventsPerWindow);
    for (size_t i = 0; i < event_ticks.size(); ++i) {
        double at = map.micros_at(event_ticks[i]);
        if (window.size() < kMaxEventsPerWindow) {
            window.push_back(at);
            continue;
        }
        double& oldest = window[i % kMaxEventsPerWindow];
        if (at - oldest < kWindowMicros)
            return false;
        oldest = at;
    }

    *seconds = map.micros_at(last_tick) / 1e6;
    return true;
}
