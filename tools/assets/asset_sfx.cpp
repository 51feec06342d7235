// asset_sfx.cpp -- synthesis of the air burst, the ground thud and the building collapse.
//
// Each effect is a sum of a few voices (filtered noise, a falling sine
// thump, debris crackle), each with its own envelope. All randomness comes
// from a small seeded generator, so the build writes the same bytes every time.
#include "asset_sfx.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

constexpr double kPeak = 0.708; // -3 dBFS
constexpr double kFadeIn = 0.003;
constexpr double kFadeOut = 0.020;

// xorshift32: tiny, fixed and identical on every compiler, unlike the
// distributions of <random>.
struct Noise {
    uint32_t state;
};

// Next white-noise value, uniform in [-1, 1).
double noise_next(Noise& n)
{
    n.state ^= n.state << 13;
    n.state ^= n.state >> 17;
    n.state ^= n.state << 5;
    return double(n.state) / 2147483648.0 - 1.0;
}

// Next value uniform in [0, 1).
double noise_unit(Noise& n)
{
    return 0.5 * (noise_next(n) + 1.0);
}

// A state-variable filter in trapezoidal form: it stays stable and quiet
// while its cutoff sweeps every sample, which the darkening tails need.
struct Svf {
    double ic1 = 0.0;
    double ic2 = 0.0;
};

struct SvfOut {
    double low;
    double band;
    double high;
};

// One sample through the filter at `cutoff_hz` and resonance `q`.
SvfOut svf_step(Svf& f, double x, double cutoff_hz, double q)
{
    const double g = std::tan(std::numbers::pi * std::min(cutoff_hz, 0.45 * kSampleRate) / kSampleRate);
    const double k = 1.0 / q;
    const double a1 = 1.0 / (1.0 + g * (g + k));
    const double a2 = g * a1;
    const double a3 = g * a2;
    const double v3 = x - f.ic2;
    const double v1 = a1 * f.ic1 + a2 * v3;
    const double v2 = f.ic2 + a2 * f.ic1 + a3 * v3;
    f.ic1 = 2.0 * v1 - f.ic1;
    f.ic2 = 2.0 * v2 - f.ic2;
    return {v2, v1, x - k * v1 - v2};
}

// Four-pole low-pass: two filters in a row, for tails that really go dark.
double lowpass4(Svf (&f)[2], double x, double cutoff_hz)
{
    return svf_step(f[1], svf_step(f[0], x, cutoff_hz, 0.707).low, cutoff_hz, 0.707).low;
}

// Rises from 0 to 1 over `rise_s` seconds along a half cosine, then stays at 1.
double attack(double t, double rise_s)
{
    return t >= rise_s ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * t / rise_s);
}

// Samples in `seconds` of sound, rounded down.
std::size_t sample_count(double seconds)
{
    return std::size_t(seconds * kSampleRate);
}

// The thump under the noise: a sine whose pitch slides from start_hz down
// to end_hz with time constant glide_s, as a struck body settles.
struct Thump {
    double start_hz;
    double end_hz;
    double glide_s;
    double phase = 0.0;
};

// The thump's next sample at time t (seconds), unscaled; called once per
// sample in order, since the phase runs on from call to call.
double thump_step(Thump& th, double t)
{
    const double hz = th.end_hz + (th.start_hz - th.end_hz) * std::exp(-t / th.glide_s);
    th.phase += 2.0 * std::numbers::pi * hz / kSampleRate;
    return std::sin(th.phase);
}

// Every effect leaves through here: click-free ends first, then the
// -3 dBFS peak, so the fades cannot change the loudest sample's level.
Samples finish(Samples s)
{
    fade_ends(s, kFadeIn, kFadeOut);
    normalise_peak(s, kPeak);
    return s;
}

// A hit: seeded noise through a lowpass whose cutoff falls, over a thump
// gliding down. `cutoff(t)` sets the filter; `mix(t, noise, thump)` makes
// the sample at t from the filtered noise and the thump's next sample.
template <class Cutoff, class Mix>
Samples hit(double seconds, uint32_t seed, Thump thump, Cutoff cutoff, Mix mix)
{
    Samples s(sample_count(seconds));
    Noise noise{seed};
    Svf lp[2];
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / kSampleRate;
        const double filtered = lowpass4(lp, noise_next(noise), cutoff(t));
        s[i] = mix(t, filtered, thump_step(thump, t));
    }
    return finish(std::move(s));
}

} // namespace

Samples make_air_burst()
{
    // The cutoff falls from bright to dull within a few tenths of a second:
    // the flash of the burst, then the smoke.
    return hit(
        0.62, 0x5eed0e02u, Thump{140.0, 48.0, 0.035}, [](double t) { return 260.0 + 7500.0 * std::exp(-t / 0.07); },
        [](double t, double noise, double thump) {
            const double env = attack(t, 0.002) * (0.65 * std::exp(-t / 0.045) + 0.35 * std::exp(-t / 0.20));
            const double burst = noise * env;
            const double body = thump * attack(t, 0.004) * std::exp(-t / 0.10);
            return 1.6 * burst + 0.45 * body;
        });
}

Samples make_ground_thud()
{
    // A slower rise than the bursts, so the ground swallows the hit rather
    // than cracking; the dirt never opens above a dull thud.
    return hit(
        0.32, 0x5eed0b00u, Thump{150.0, 62.0, 0.04}, [](double t) { return 300.0 + 700.0 * std::exp(-t / 0.03); },
        [](double t, double noise, double thump) {
            const double rise = attack(t, 0.010);
            const double dirt = noise * rise * std::exp(-t / 0.05);
            const double body = thump * rise * std::exp(-t / 0.06);
            return 3.6 * dirt + 0.7 * body;
        });
}

Samples make_building_collapse()
{
    const std::size_t n = sample_count(1.6);
    Samples s(n);
    Noise noise{0x5eed0eb0u};

    // Debris: short bursts scattered over the second half, thickest about
    // a second in, as the floors give way one after another.
    Samples crackle(n, 0.0);
    Noise scatter{0xc4ac1e00u};
    for (std::size_t i = sample_count(0.40); i < n; ++i) {
        const double t = double(i) / kSampleRate;
        const double per_second = 70.0 * std::exp(-0.5 * std::pow((t - 0.95) / 0.28, 2.0));
        if (noise_unit(scatter) >= per_second / kSampleRate)
            continue;
        const double amplitude = 0.3 + 0.7 * noise_unit(scatter);
        const std::size_t length = sample_count(0.001 + 0.004 * noise_unit(scatter));
        const double decay = double(length) / 3.0;
        for (std::size_t j = 0; j < length && i + j < n; ++j)
            crackle[i + j] += amplitude * std::exp(-double(j) / decay) * noise_next(scatter);
    }

    // The rumble swells and sags a few times a second so it rolls like
    // falling masonry instead of hissing flat.
    auto roll = [](double t) {
        constexpr double tau = 2.0 * std::numbers::pi;
        return 1.0 + 0.35 * std::sin(tau * 3.3 * t + 0.4) + 0.25 * std::sin(tau * 5.9 * t + 2.1) + 0.2 * std::sin(tau * 9.1 * t + 4.0);
    };

    Svf blast_lp[2];
    Svf rumble_lp[2];
    Svf crackle_bp;
    Thump thump{95.0, 44.0, 0.08};
    for (std::size_t i = 0; i < n; ++i) {
        const double t = double(i) / kSampleRate;
        const double rise = attack(t, 0.006);
        const double white = noise_next(noise);
        const double blast = lowpass4(blast_lp, white, 300.0 + 3000.0 * std::exp(-t / 0.07)) * rise * std::exp(-t / 0.09);
        const double rumble = lowpass4(rumble_lp, white, 300.0 + 250.0 * std::exp(-t / 0.5)) * rise * std::exp(-t / 0.6) * roll(t);
        const double body = thump_step(thump, t) * rise * std::exp(-t / 0.25);
        const double debris = svf_step(crackle_bp, crackle[i], 2600.0, 0.9).band;
        s[i] = 1.3 * blast + 2.6 * rumble + 0.5 * body + 1.2 * debris;
    }
    return finish(std::move(s));
}
