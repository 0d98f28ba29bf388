// Measuring sound: energy, pitch and spectrum of sample sequences.
#pragma once

#include <vector>

// The energy of `s` about its mean.
double sound_energy(const std::vector<float>& s);

// The pitch from the upward crossings of the mean, interpolated between samples.
double sound_frequency(const std::vector<float>& s, double rate);

// The share of the energy (about the mean, Hann-windowed) of the first `n` samples that lies
// in DFT bins
// whose frequency is above `hertz`; and the share in bins more than one bin away from every
// multiple of `harmonic_bin` (0: none counted), into *off_harmonics.
double sound_share_above(const std::vector<float>& s, int n, double rate, double hertz,
                         int harmonic_bin = 0, double* off_harmonics = nullptr);
