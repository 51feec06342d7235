// midi_length.cpp -- reads a MIDI file's tempo map and last event to time the piece.
#include "platform/sdl/midi_length.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

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

// Walks one track's events. Adds its tempo changes to `tempos` and gives the
// tick of its last event. False when the track is cut short, holds a byte
// that is no event, or holds an event the synthesizer would refuse with a
// message on the terminal.
bool read_track(Reader track, std::vector<TempoChange>& tempos, uint64_t* last_tick)
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
        if (!read_track(Reader{body, body + length}, tempos, &track_last))
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
    double micros = 0.0;
    uint64_t tick = 0;
    uint32_t tempo = 500000; // 120 quarter notes a minute until told otherwise
    for (const TempoChange& change : tempos) {
        if (change.tick >= last_tick)
            break;
        micros += double(change.tick - tick) * tempo / division;
        tick = change.tick;
        tempo = change.micros;
    }
    micros += double(last_tick - tick) * tempo / division;
    *seconds = micros / 1e6;
    return true;
}
