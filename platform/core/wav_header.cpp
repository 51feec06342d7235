// wav_header.cpp -- the effect file check: RIFF header, format chunk and data bounds, no samples.
#include "platform/core/wav_header.h"

#include <cstring>

namespace {

constexpr uint16_t kPcm = 1;
constexpr uint16_t kFloat = 3;
constexpr uint16_t kExtensible = 0xFFFE;

// What follows the format tag in the sub-format GUID of an extensible file
// whose samples are PCM or float (KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT).
constexpr uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint32_t le(const uint8_t* p, int bytes)
{
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

// The format chunk's body, checked: false for anything the mixer should not
// be asked to decode.
bool read_format(const uint8_t* body, uint32_t size, WavLayout* layout)
{
    if (size < 16)
        return false;
    uint16_t tag = uint16_t(le(body, 2));
    uint16_t channels = uint16_t(le(body + 2, 2));
    uint32_t rate = le(body + 4, 4);
    uint16_t block_align = uint16_t(le(body + 12, 2));
    uint16_t bits = uint16_t(le(body + 14, 2));
    if (tag == kExtensible) {
        // cbSize, valid bits, channel mask, then the sub-format GUID.
        if (size < 40 || le(body + 16, 2) < 22)
            return false;
        uint16_t valid_bits = uint16_t(le(body + 18, 2));
        if (valid_bits == 0 || valid_bits > bits || std::memcmp(body + 26, kSubFormatTail, sizeof kSubFormatTail) != 0)
            return false;
        tag = uint16_t(le(body + 24, 2));
    }
    bool sample_size_ok = tag == kPcm ? bits == 8 || bits == 16 || bits == 24 || bits == 32
                                      : tag == kFloat && bits == 32;
    if (!sample_size_ok || channels == 0 || channels > kMaxEffectChannels || rate < kMinEffectRate ||
        rate > kMaxEffectRate || block_align != channels * (bits / 8))
        return false;
    layout->channels = channels;
    layout->rate = rate;
    layout->bits = bits;
    return true;
}

} // namespace

bool wav_effect_layout(uint64_t file_size, const WavReader& reader, WavLayout* layout)
{
    uint8_t riff[12];
    if (file_size < 12 || file_size > kMaxEffectFileBytes || !reader.read_at(reader.context, 0, riff, 12) ||
        std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return false;

    WavLayout found{};
    bool have_format = false;
    uint64_t at = 12;
    for (int chunk = 0; chunk < kMaxChunksBeforeData; ++chunk) {
        uint8_t header[8];
        if (at + 8 > file_size || !reader.read_at(reader.context, at, header, 8))
            return false;
        uint32_t size = le(header + 4, 4);
        uint64_t body = at + 8;
        if (std::memcmp(header, "fmt ", 4) == 0) {
            // The first 40 bytes hold all an extensible format says.
            uint8_t format[40];
            uint32_t wanted = size < 40 ? size : 40;
            if (have_format || body + wanted > file_size || !reader.read_at(reader.context, body, format, wanted) ||
                !read_format(format, wanted, &found))
                return false;
            have_format = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            // The sound must lie wholly in the file (the mixer would refuse
            // a short one only after reading it), and last from one frame
            // to kMaxEffectSeconds.
            if (!have_format || size == 0 || body + size > file_size)
                return false;
            uint64_t frames = size / (uint64_t(found.channels) * (found.bits / 8));
            if (frames == 0 || frames > uint64_t(found.rate) * kMaxEffectSeconds)
                return false;
            found.data_offset = body;
            found.data_bytes = size;
            found.frames = frames;
            *layout = found;
            return true;
        }
        // Chunks are padded to an even length.
        at = body + size + (size & 1);
    }
    return false; // no data within the first few chunks
}

bool wav_effect_layout(const uint8_t* bytes, size_t size, WavLayout* layout)
{
    struct Memory {
        const uint8_t* bytes;
        size_t size;
    } memory{bytes, size};
    auto read_at = [](void* context, uint64_t offset, uint8_t* out, size_t count) {
        const Memory& m = *static_cast<const Memory*>(context);
        if (offset > m.size || count > m.size - offset)
            return false;
        std::memcpy(out, m.bytes + offset, count);
        return true;
    };
    return wav_effect_layout(uint64_t(size), WavReader{read_at, &memory}, layout);
}
