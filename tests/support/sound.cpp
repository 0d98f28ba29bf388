#include "tests/support/sound.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace {
double mean_of(const std::vector<float>& s, size_t n) {
    double mean = 0;
    for (size_t i = 0; i < n; i++) mean += s[i];
    return n ? mean / static_cast<double>(n) : 0.0;
}
} // namespace

double sound_energy(const std::vector<float>& s) {
    const double mean = mean_of(s, s.size());
    double e = 0;
    for (float v : s) e += (v - mean) * (v - mean);
    return e;
}

double sound_frequency(const std::vector<float>& s, double rate) {
    const double mean = mean_of(s, s.size());
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = 1; i < s.size(); i++) {
        if (s[i - 1] < mean && s[i] >= mean) {
            const double x = static_cast<double>(i - 1) + (mean - s[i - 1]) / (s[i] - s[i - 1]);
            if (first < 0) first = x;
            else crossings++;
            last = x;
        }
    }
    return crossings ? crossings * rate / (last - first) : 0.0;
}

double sound_share_above(const std::vector<float>& s, int n, double rate, double hertz,
                         int harmonic_bin, double* off_harmonics) {
    const double mean = mean_of(s, static_cast<size_t>(n));
    double total = 0, above = 0, off = 0;
    for (int k = 1; k < n / 2; k++) {
        std::complex<double> acc = 0;
        for (int i = 0; i < n; i++) {
            // A Hann window, so a tone between two bins does not leak across the spectrum.
            const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / n);
            acc += w * (s[i] - mean) * std::polar(1.0, -2 * std::numbers::pi * k * i / n);
        }
        const double power = std::norm(acc);
        total += power;
        if (k * rate / n > hertz) above += power;
        // The window widens each harmonic to its neighbouring bins.
        const int d = harmonic_bin ? k % harmonic_bin : 0;
        if (harmonic_bin && d > 1 && d < harmonic_bin - 1) off += power;
    }
    if (off_harmonics) *off_harmonics = total > 0 ? off / total : 0.0;
    return total > 0 ? above / total : 0.0;
}
