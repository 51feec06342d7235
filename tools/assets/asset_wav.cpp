// asset_wav.cpp -- end fades, peak normalising and WAV encoding for the effects.
#include "asset_wav.h"

#include <algorithm>
#include <cmath>
#include <numbers>

void fade_ends(Samples& samples, double fade_in_s, double fade_out_s)
{
    const std::size_t n = samples.size();
    if (n == 0)
        return;
    // Weight of the k-th sample of a raised-cosine ramp `len` samples long:
    // exactly 0 at k = 0, rising to 1 at k = len.
    auto ramp = [](std::size_t k, std::size_t len) { return 0.5 - 0.5 * std::cos(std::numbers::pi * double(k) / double(len)); };
    const std::size_t in_len = std::min<std::size_t>(n, std::size_t(fade_in_s * kSampleRate));
    const std::size_t out_len = std::min<std::size_t>(n, std::size_t(fade_out_s * kSampleRate));
    for (std::size_t k = 0; k < in_len; ++k)
        samples[k] *= ramp(k, in_len);
    for (std::size_t k = 0; k < out_len; ++k)
        samples[n - 1 - k] *= ramp(k, out_len);
    // Even with no room for a ramp, the file starts and ends on silence.
    samples[0] = 0.0;
    samples[n - 1] = 0.0;
}

void normalise_peak(Samples& samples, double peak)
{
    double largest = 0.0;
    for (double s : samples)
        largest = std::max(largest, std::fabs(s));
    if (largest == 0.0)
        return;
    const double gain = peak / largest;
    for (double& s : samples)
        s *= gain;
}

namespace {

// Writers for the RIFF header, whose numbers are all little-endian.
void put_u32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

void put_u16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put_tag(std::vector<uint8_t>& out, const char (&tag)[5])
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(tag[i]));
}

} // namespace

std::vector<uint8_t> wav_file_bytes(const Samples& samples)
{
    const uint16_t channels = 1;
    const uint16_t bits = 16;
    const uint16_t block_align = channels * bits / 8;
    const uint32_t data_bytes = uint32_t(samples.size()) * block_align;

    std::vector<uint8_t> out;
    out.reserve(44 + data_bytes);
    put_tag(out, "RIFF");
    put_u32(out, 36 + data_bytes);
    put_tag(out, "WAVE");
    put_tag(out, "fmt ");
    put_u32(out, 16);
    put_u16(out, 1); // integer PCM
    put_u16(out, channels);
    put_u32(out, kSampleRate);
    put_u32(out, kSampleRate * block_align);
    put_u16(out, block_align);
    put_u16(out, bits);
    put_tag(out, "data");
    put_u32(out, data_bytes);
    for (double s : samples) {
        const double scaled = std::round(std::clamp(s, -1.0, 1.0) * 32767.0);
        put_u16(out, uint16_t(int16_t(scaled)));
    }
    return out;
}
