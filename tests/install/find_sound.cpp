// find_sound.cpp -- finds a sound effect in a capture of SDL's disk audio output.
//
// Usage: find_sound OUTPUT.raw SOUND.wav FROM_SECONDS TO_SECONDS
// OUTPUT.raw is what the game wrote through SDL's disk driver: interleaved
// stereo 32-bit floats at the rate of SOUND.wav (a 16-bit mono PCM WAV).
// Prints "CORRELATION SECONDS": the best normalised correlation between the
// sound and the left channel starting within [FROM, TO], and where. Music under the effect lowers the figure but is not
// correlated with it; with the effect absent it stays near zero.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> read_file(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t le(const std::vector<uint8_t>& b, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | b[at + size_t(i)];
    return v;
}

// The samples of a 16-bit mono PCM WAV, and its rate; empty when it is not one.
std::vector<float> read_wav(const char* path, int& rate)
{
    const std::vector<uint8_t> b = read_file(path);
    std::vector<float> out;
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return out;
    bool format_ok = false;
    for (size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size = le(b, at + 4, 4);
        const size_t body = at + 8;
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && body + 16 <= b.size()) {
            format_ok = le(b, body, 2) == 1 && le(b, body + 2, 2) == 1 && le(b, body + 14, 2) == 16;
            rate = int(le(b, body + 4, 4));
        } else if (std::memcmp(b.data() + at, "data", 4) == 0 && format_ok) {
            for (size_t i = body; i + 1 < std::min(b.size(), body + size); i += 2)
                out.push_back(float(int16_t(uint16_t(le(b, i, 2)))) / 32768.0f);
            return out;
        }
        at = body + size + (size & 1);
    }
    return out;
}

// Replaces a signal by its differences from sample to sample. The three
// effects share a low thump under noise of their own; the differences keep
// the noise, which tells them apart, and take the weight off the thump and
// off the music's low notes.
void emphasise_highs(std::vector<float>& x)
{
    for (size_t i = x.size(); i-- > 1;)
        x[i] -= x[i - 1];
    if (!x.empty())
        x[0] = 0.0f;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: find_sound OUTPUT.raw SOUND.wav FROM_SECONDS TO_SECONDS\n");
        return 2;
    }
    int rate = 0;
    std::vector<float> sound = read_wav(argv[2], rate);
    if (sound.empty() || rate <= 0) {
        std::fprintf(stderr, "find_sound: %s is not a 16-bit mono PCM WAV\n", argv[2]);
        return 2;
    }
    emphasise_highs(sound);

    const std::vector<uint8_t> raw = read_file(argv[1]);
    std::vector<float> left(raw.size() / 8);
    for (size_t i = 0; i < left.size(); ++i)
        std::memcpy(&left[i], raw.data() + i * 8, sizeof(float));
    emphasise_highs(left);

    const size_t from = size_t(std::max(0.0, std::atof(argv[3])) * rate);
    const size_t to = std::min(size_t(std::atof(argv[4]) * rate), left.size() > sound.size() ? left.size() - sound.size() : 0);
    double sound_energy = 0.0;
    for (float s : sound)
        sound_energy += double(s) * s;

    double best = 0.0;
    size_t best_at = from;
    for (size_t lag = from; lag < to; ++lag) {
        double dot = 0.0, energy = 0.0;
        for (size_t i = 0; i < sound.size(); ++i) {
            const double o = left[lag + i];
            dot += o * sound[i];
            energy += o * o;
        }
        const double r = energy > 0.0 ? dot / std::sqrt(energy * sound_energy) : 0.0;
        if (r > best) {
            best = r;
            best_at = lag;
        }
    }
    std::printf("%.4f %.3f\n", best, double(best_at) / rate);
    return 0;
}
