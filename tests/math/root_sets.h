// Seeded sets of four distinct real roots for the polynomial solvers' tests and benchmarks.
#pragma once

#include <algorithm>
#include <cmath>
#include <random>

// Three kinds of root sets for the property tests.
enum class RootSet { kSpread, kClustered, kWidelyScaled };

// Four distinct real roots: spread over [-1, 1] at least 0.05 apart (the range of cos t in the
// trigonometric solver), clustered within 0.1 of a centre and at least 0.05 apart, or one root
// in each decade of magnitude from 0.01 to 100 with random signs.
inline void random_roots(std::mt19937& rng, RootSet set, double roots[4]) {
  std::uniform_real_distribution<double> unit(-1, 1);
  if (set == RootSet::kWidelyScaled) {
    for (int k = 0; k < 4; k++) {
      const double magnitude = std::pow(10.0, k - 1.5 + 0.5 * unit(rng));
      roots[k] = unit(rng) < 0 ? -magnitude : magnitude;
    }
    std::shuffle(roots, roots + 4, rng);
    return;
  }
  for (;;) {
    const double centre = 0.8 * unit(rng);
    for (int k = 0; k < 4; k++)
      roots[k] = set == RootSet::kSpread ? unit(rng) : centre + 0.1 * unit(rng);
    bool apart = true;
    for (int i = 0; i < 4; i++)
      for (int j = 0; j < i; j++) apart = apart && std::fabs(roots[i] - roots[j]) >= 0.05;
    if (apart) return;
  }
}
