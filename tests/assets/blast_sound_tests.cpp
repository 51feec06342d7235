// blast_sound_tests.cpp -- reads back ex2.wav, poof.wav and exb.wav as the game will find them and checks how they are made and how they sound by numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

namespace {

// A WAV file as read by a small reader of our own: the format fields, and
// the samples of the first channel scaled to +-1.
struct Wav {
    std::string error; // empty when the file is well-formed
    uint16_t format = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint32_t byte_rate = 0;
    uint16_t block_align = 0;
    uint16_t bits = 0;
    uint32_t data_bytes = 0;
    std::vector<double> samples;
};

// The little-endian number of `bytes` bytes at `at`.
uint32_t le(const std::vector<uint8_t>& b, std::size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | b[at + std::size_t(i)];
    return v;
}

// Whether the four-character chunk tag at `at` is `tag`.
bool tag_at(const std::vector<uint8_t>& b, std::size_t at, const char* tag)
{
    return at + 4 <= b.size() && std::equal(tag, tag + 4, b.begin() + std::ptrdiff_t(at));
}

// Walks the RIFF chunks, checking every size against the file's length.
Wav read_wav(const std::string& path)
{
    Wav w;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        w.error = "cannot open " + path;
        return w;
    }
    const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || !tag_at(b, 0, "RIFF") || !tag_at(b, 8, "WAVE")) {
        w.error = "no RIFF/WAVE header";
        return w;
    }
    if (le(b, 4, 4) + 8 != b.size()) {
        w.error = "RIFF size " + std::to_string(le(b, 4, 4)) + " does not match file size " + std::to_string(b.size());
        return w;
    }
    bool have_fmt = false;
    std::size_t at = 12;
    while (at < b.size()) {
        if (at + 8 > b.size()) {
            w.error = "truncated chunk header";
            return w;
        }
        const uint32_t size = le(b, at + 4, 4);
        const std::size_t body = at + 8;
        if (body + size > b.size()) {
            w.error = "chunk runs past the end of the file";
            return w;
        }
        if (tag_at(b, at, "fmt ")) {
            if (size < 16) {
                w.error = "fmt chunk too short";
                return w;
            }
            w.format = uint16_t(le(b, body, 2));
            w.channels = uint16_t(le(b, body + 2, 2));
            w.rate = le(b, body + 4, 4);
            w.byte_rate = le(b, body + 8, 4);
            w.block_align = uint16_t(le(b, body + 12, 2));
            w.bits = uint16_t(le(b, body + 14, 2));
            have_fmt = true;
        } else if (tag_at(b, at, "data")) {
            if (!have_fmt || w.bits != 16 || w.channels == 0) {
                w.error = "data chunk before a 16-bit fmt chunk";
                return w;
            }
            w.data_bytes = size;
            for (std::size_t i = body; i + w.block_align <= body + size; i += w.block_align)
                w.samples.push_back(int16_t(le(b, i, 2)) / 32768.0);
        }
        at = body + size + (size & 1);
    }
    if (!have_fmt || w.data_bytes == 0)
        w.error = "missing fmt or data chunk";
    return w;
}

// Where the build put one of the game's files.
std::string asset(const char* name)
{
    return std::string(PELMARIC_ASSET_DIR) + "/" + name;
}

constexpr const char* kEffects[] = {"ex2.wav", "poof.wav", "exb.wav"};

// The effect's playing time.
double seconds(const Wav& w)
{
    return double(w.samples.size()) / double(w.rate);
}

// Largest magnitude among samples [from, to).
double peak(const std::vector<double>& s, std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    double p = 0.0;
    for (std::size_t i = from; i < std::min(to, s.size()); ++i)
        p = std::max(p, std::fabs(s[i]));
    return p;
}

// Root-mean-square level of samples [from, to).
double rms(const std::vector<double>& s, std::size_t from, std::size_t to)
{
    double sum = 0.0;
    to = std::min(to, s.size());
    for (std::size_t i = from; i < to; ++i)
        sum += s[i] * s[i];
    return std::sqrt(sum / double(std::max<std::size_t>(1, to - from)));
}

// An amplitude ratio in decibels.
double db(double ratio)
{
    return 20.0 * std::log10(ratio);
}

// In-place radix-2 FFT; the size must be a power of two.
void fft(std::vector<std::complex<double>>& a)
{
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * std::numbers::pi / double(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0);
            for (std::size_t j = 0; j < len / 2; ++j) {
                const auto u = a[i + j];
                const auto v = a[i + j + len / 2] * w;
                a[i + j] = u + v;
                a[i + j + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

// Power spectrum summed over Hann-windowed 2048-sample frames (hop 1024)
// starting in [from_s, to_s): what the ear hears of that stretch.
struct Spectrum {
    double centroid_hz;
    double share_above_2k;
};

Spectrum spectrum(const Wav& w, double from_s = 0.0, double to_s = 1e9)
{
    constexpr std::size_t kFrame = 2048;
    const std::size_t from = std::size_t(from_s * w.rate);
    const std::size_t to = std::min(w.samples.size(), std::size_t(to_s * w.rate));
    double power = 0.0, weighted = 0.0, high = 0.0;
    for (std::size_t start = from; start < to; start += kFrame / 2) {
        std::vector<std::complex<double>> a(kFrame);
        for (std::size_t i = 0; i < kFrame && start + i < to; ++i)
            a[i] = w.samples[start + i] * (0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / kFrame));
        fft(a);
        for (std::size_t k = 1; k < kFrame / 2; ++k) {
            const double hz = double(k) * w.rate / kFrame;
            const double p = std::norm(a[k]);
            power += p;
            weighted += p * hz;
            if (hz > 2000.0)
                high += p;
        }
    }
    return {power > 0 ? weighted / power : 0.0, power > 0 ? high / power : 0.0};
}

class BlastSounds : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        for (const char* name : kEffects)
            wavs.push_back(read_wav(asset(name)));
    }
    static std::vector<Wav> wavs;
};
std::vector<Wav> BlastSounds::wavs;

TEST_F(BlastSounds, AreCanonical16BitPcmAt44100Hz)
{
    for (std::size_t i = 0; i < wavs.size(); ++i) {
        SCOPED_TRACE(kEffects[i]);
        const Wav& w = wavs[i];
        ASSERT_EQ(w.error, "");
        EXPECT_EQ(w.format, 1); // integer PCM
        EXPECT_TRUE(w.channels == 1 || w.channels == 2);
        EXPECT_EQ(w.rate, 44100u);
        EXPECT_EQ(w.bits, 16);
        EXPECT_EQ(w.block_align, w.channels * 2);
        EXPECT_EQ(w.byte_rate, w.rate * w.block_align);
        EXPECT_EQ(w.data_bytes % w.block_align, 0u);
    }
}

TEST_F(BlastSounds, LastAsLongAsTheirEvents)
{
    const double shortest[] = {0.4, 0.2, 1.0};
    const double longest[] = {0.8, 0.4, 2.0};
    for (std::size_t i = 0; i < wavs.size(); ++i) {
        SCOPED_TRACE(kEffects[i]);
        ASSERT_EQ(wavs[i].error, "");
        EXPECT_GE(seconds(wavs[i]), shortest[i]);
        EXPECT_LE(seconds(wavs[i]), longest[i]);
    }
}

TEST_F(BlastSounds, PeakAtMinusThreeDbfs)
{
    for (std::size_t i = 0; i < wavs.size(); ++i) {
        SCOPED_TRACE(kEffects[i]);
        ASSERT_EQ(wavs[i].error, "");
        EXPECT_NEAR(db(peak(wavs[i].samples)), -3.0, 0.5);
    }
}

TEST_F(BlastSounds, StartAndStopWithoutAClick)
{
    for (std::size_t i = 0; i < wavs.size(); ++i) {
        SCOPED_TRACE(kEffects[i]);
        const Wav& w = wavs[i];
        ASSERT_EQ(w.error, "");
        const std::vector<double>& s = w.samples;
        EXPECT_LE(std::fabs(s.front()), 1e-3);
        EXPECT_LE(std::fabs(s.back()), 1e-3);
        // The first half millisecond may only begin to rise, and the last
        // two must already be near silence.
        EXPECT_LE(peak(s, 0, w.rate / 2000), 0.1);
        EXPECT_LE(peak(s, s.size() - w.rate / 500), 0.02);
    }
}

TEST_F(BlastSounds, ThreeEffectsSoundDifferent)
{
    for (const Wav& w : wavs)
        ASSERT_EQ(w.error, "");
    for (std::size_t a = 0; a < wavs.size(); ++a) {
        for (std::size_t b = a + 1; b < wavs.size(); ++b) {
            SCOPED_TRACE(std::string(kEffects[a]) + " against " + kEffects[b]);
            EXPECT_GE(std::fabs(seconds(wavs[a]) - seconds(wavs[b])), 0.15);
            const double ca = spectrum(wavs[a]).centroid_hz;
            const double cb = spectrum(wavs[b]).centroid_hz;
            EXPECT_GE(std::max(ca, cb) / std::min(ca, cb), 1.5) << ca << " Hz and " << cb << " Hz";
        }
    }
}

TEST_F(BlastSounds, AirBurstHitsAtOnceAndDarkensAsItDies)
{
    const Wav& w = wavs[0];
    ASSERT_EQ(w.error, "");
    const std::vector<double>& s = w.samples;
    const std::size_t half_up = std::size_t(std::find_if(s.begin(), s.end(), [&](double x) { return std::fabs(x) >= 0.5 * peak(s); }) - s.begin());
    EXPECT_LT(double(half_up) / w.rate, 0.005) << "seconds to half its peak";
    const double flash = spectrum(w, 0.0, 0.08).centroid_hz;
    const double smoke = spectrum(w, 0.25).centroid_hz;
    EXPECT_GT(flash, 3.0 * smoke) << flash << " Hz then " << smoke << " Hz";
    const std::size_t n = s.size();
    EXPECT_LT(db(rms(s, n * 7 / 10, n) / rms(s, 0, n / 10)), -30.0);
}

TEST_F(BlastSounds, GroundThudIsSoftAndLow)
{
    const Wav& w = wavs[1];
    ASSERT_EQ(w.error, "");
    const Spectrum whole = spectrum(w);
    EXPECT_LT(whole.centroid_hz, 250.0);
    EXPECT_LT(whole.share_above_2k, 0.005);
    // Soft: the ground takes a few milliseconds to give, unlike the bursts.
    EXPECT_LT(peak(w.samples, 0, w.rate * 3 / 1000), 0.2 * peak(w.samples));
}

TEST_F(BlastSounds, BuildingRumblesThenCrackles)
{
    const Wav& w = wavs[2];
    ASSERT_EQ(w.error, "");
    const std::vector<double>& s = w.samples;
    EXPECT_LT(spectrum(w, 0.1, 0.5).centroid_hz, 400.0);
    // Debris: the bright share rises in the second half and comes in
    // sharp, separate cracks, not a steady hiss.
    const double early_bright = spectrum(w, 0.1, 0.5).share_above_2k;
    const double late_bright = spectrum(w, 0.6, 1.4).share_above_2k;
    EXPECT_GT(late_bright, 5.0 * early_bright) << early_bright << " then " << late_bright;
    std::vector<double> edges;
    for (std::size_t i = std::size_t(0.6 * w.rate); i < std::size_t(1.4 * w.rate); ++i)
        edges.push_back(s[i] - s[i - 1]);
    EXPECT_GT(peak(edges) / rms(edges, 0, edges.size()), 8.0);
    // Still rumbling well into its second second.
    EXPECT_GT(db(rms(s, std::size_t(1.0 * w.rate), std::size_t(1.2 * w.rate)) / rms(s, 0, std::size_t(0.2 * w.rate))), -30.0);
}

} // namespace
