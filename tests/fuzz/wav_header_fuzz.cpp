// wav_header_fuzz.cpp -- libFuzzer target: the effect file check, over any bytes.
//
// Besides not crashing, an accepted file must keep every promise the
// decoder is given: sound that lies in the file and within the bounds.
#include "platform/core/wav_header.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

void require(bool holds)
{
    if (!holds)
        std::abort();
}

void check_layout(const WavLayout& layout, uint64_t file_size)
{
    require(file_size <= kMaxEffectFileBytes);
    require(layout.channels >= 1 && layout.channels <= kMaxEffectChannels);
    require(layout.rate >= kMinEffectRate && layout.rate <= kMaxEffectRate);
    require(layout.bits == 8 || layout.bits == 16 || layout.bits == 24 || layout.bits == 32);
    require(layout.frames >= 1 && layout.frames <= uint64_t(layout.rate) * kMaxEffectSeconds);
    require(layout.frames * layout.channels * (layout.bits / 8) <= layout.data_bytes);
    require(layout.data_offset + layout.data_bytes <= file_size);
}

// The input as the first bytes of a longer file, the rest of which cannot
// be read: a file that shrank, or one whose tail is far away.
bool read_prefix(void* context, uint64_t offset, uint8_t* out, size_t size)
{
    auto* input = static_cast<const std::pair<const uint8_t*, size_t>*>(context);
    if (offset > input->second || size > input->second - offset)
        return false;
    std::memcpy(out, input->first + offset, size);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WavLayout layout;
    if (wav_effect_layout(data, size, &layout))
        check_layout(layout, size);

    std::pair<const uint8_t*, size_t> prefix{data, size};
    uint64_t claimed = uint64_t(size) * 3 + 1;
    if (wav_effect_layout(claimed, WavReader{read_prefix, &prefix}, &layout))
        check_layout(layout, claimed);
    return 0;
}
