// Speed per call of the polynomial and trigonometric equation solvers, and the quartic solver
// side by side with GSL's companion-matrix solver (gsl_poly_complex_solve) on sets of random
// quartics with known roots: four real (spread, clustered, widely scaled), two real and a
// complex pair (spread, or the pair next to the two real roots), and two complex pairs. For each:
// time per call, their ratio, the largest and median relative error of every root (real or
// complex) against the roots polished in long double, and how many quartics came back with the
// wrong number of real roots. The last benchmark prints that comparison as a table.
#include <benchmark/benchmark.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_poly.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <random>

#include "math/poly_roots.h"
#include "math/root_sets.h"
#include "math/tri2.h"

namespace {

constexpr int kCases = 1024;
constexpr int kSets = 6;
const char* const kSetNames[kSets] = {"spread in [-1, 1]",   "clustered",      "widely scaled",
                                      "mixed: 2 real, pair", "pair by 2 real", "two pairs"};

// One set of quartics: monic coefficients (rounded to double from the known roots) and their
// exact roots, polished in long double on those double coefficients; the first real[i] are
// real, the others complex (both of each pair).
struct QuarticSet {
  double coef[kCases][4];
  std::complex<long double> exact[kCases][4];
  int real[kCases];
};

// What the comparison table shows for one solver on one set.
struct Measured {
  double ns_per_call = 0;
  double max_error = 0;
  double median_error = 0;
  int wrong_count = 0;  // quartics that came back with another number of real roots
};

Measured armsim_measured[kSets], gsl_measured[kSets];

// The root sets 0..2 of the tests (tests/math/root_sets.h).
void random_roots(std::mt19937& rng, int set, double roots[4]) {
  random_roots(rng, static_cast<RootSet>(set), roots);
}

// Newton in long double (complex for a complex root) on the double coefficients, from a known
// root.
std::complex<long double> exact_root(const double coef[4], std::complex<long double> x) {
  for (int step = 0; step < 50; step++) {
    std::complex<long double> value = 1, slope = 0;
    for (int k = 0; k < 4; k++) {
      slope = slope * x + value;
      value = value * x + static_cast<long double>(coef[k]);
    }
    const std::complex<long double> next = x - value / slope;
    if (next == x) break;
    x = next;
  }
  return x;
}

// Two real roots and a complex pair: all spread over [-1, 1] (imaginary component from 0.05 to 1),
// or the real roots 1e-3 to 1e-2 apart with the pair within 0.05 of them (imaginary component from
// 0.01 to 0.2); or two complex pairs spread over [-1, 1]. Writes the roots (pairs as both
// conjugates) and returns the number of real ones.
int random_mixed_roots(std::mt19937& rng, int set, std::complex<double> roots[4]) {
  std::uniform_real_distribution<double> unit(-1, 1), positive(0, 1);
  if (set == 5) {
    for (int j = 0; j < 2; j++) {
      const std::complex<double> z(unit(rng), 0.05 + 0.95 * positive(rng));
      roots[2 * j] = z;
      roots[2 * j + 1] = std::conj(z);
    }
    return 0;
  }
  std::complex<double> z;
  if (set == 3) {
    do {
      roots[0] = unit(rng);
      roots[1] = unit(rng);
    } while (std::abs(roots[0] - roots[1]) < 0.05);
    z = {unit(rng), 0.05 + 0.95 * positive(rng)};
  } else {
    const double centre = (0.1 + 0.8 * positive(rng)) * (unit(rng) < 0 ? -1 : 1);
    const double gap = std::pow(10.0, -2 - positive(rng));
    roots[0] = centre - gap / 2;
    roots[1] = centre + gap / 2;
    z = {centre + 0.05 * unit(rng), std::pow(10.0, -2 + 1.3 * positive(rng))};
  }
  roots[2] = z;
  roots[3] = std::conj(z);
  return 2;
}

const QuarticSet& quartic_set(int set) {
  static QuarticSet sets[kSets];
  static bool built = false;
  if (!built) {
    for (int s = 0; s < kSets; s++) {
      std::mt19937 rng(500 + s);
      for (int i = 0; i < kCases; i++) {
        std::complex<double> roots[4];
        if (s < 3) {
          double real[4];
          random_roots(rng, s, real);
          for (int k = 0; k < 4; k++) roots[k] = real[k];
          sets[s].real[i] = 4;
        } else {
          sets[s].real[i] = random_mixed_roots(rng, s, roots);
        }
        std::complex<long double> full[5] = {1, 0, 0, 0, 0};
        for (int r = 0; r < 4; r++)
          for (int k = r + 1; k >= 1; k--)
            full[k] -= std::complex<long double>(roots[r]) * full[k - 1];
        for (int k = 0; k < 4; k++) sets[s].coef[i][k] = static_cast<double>(full[k + 1].real());
        for (int k = 0; k < 4; k++)
          sets[s].exact[i][k] = exact_root(sets[s].coef[i], std::complex<long double>(roots[k]));
      }
    }
    built = true;
  }
  return sets[set];
}

// Relative error of each exact root against the nearest of the candidates; the largest and the
// median over the set go into measured.
void record_errors(const std::complex<long double> exact[4], const std::complex<double> found[],
                   int count, double errors[], int& n) {
  for (int k = 0; k < 4; k++) {
    double nearest = INFINITY;
    for (int i = 0; i < count; i++) {
      const long double gap =
          std::abs(std::complex<long double>(found[i]) - exact[k]) / std::abs(exact[k]);
      nearest = std::fmin(nearest, static_cast<double>(gap));
    }
    errors[n++] = nearest;
  }
}

void summarise(double errors[], int n, Measured& measured) {
  std::sort(errors, errors + n);
  measured.max_error = errors[n - 1];
  measured.median_error = errors[n / 2];
}

void armsim_accuracy(int set) {
  static double errors[4 * kCases];
  const QuarticSet& q = quartic_set(set);
  int n = 0;
  armsim_measured[set].wrong_count = 0;
  for (int i = 0; i < kCases; i++) {
    double roots[4];
    const int count = quartic(q.coef[i], roots);
    std::complex<double> found[4];
    for (int k = 0; k < count; k++) found[k] = roots[k];
    for (int k = count; k + 1 < 4; k += 2) {
      found[k] = {roots[k], roots[k + 1]};
      found[k + 1] = {roots[k], -roots[k + 1]};
    }
    if (count != q.real[i]) armsim_measured[set].wrong_count++;
    record_errors(q.exact[i], found, 4, errors, n);
  }
  summarise(errors, n, armsim_measured[set]);
}

// GSL wants the coefficients from the constant term up, the leading one included.
void gsl_solve(gsl_poly_complex_workspace* workspace, const double coef[4], double z[8]) {
  const double ascending[5] = {coef[3], coef[2], coef[1], coef[0], 1};
  gsl_poly_complex_solve(ascending, 5, workspace, z);
}

void gsl_accuracy(int set, gsl_poly_complex_workspace* workspace) {
  static double errors[4 * kCases];
  const QuarticSet& q = quartic_set(set);
  int n = 0;
  gsl_measured[set].wrong_count = 0;
  for (int i = 0; i < kCases; i++) {
    double z[8];
    gsl_solve(workspace, q.coef[i], z);
    std::complex<double> found[4];
    int real = 0;
    for (int k = 0; k < 4; k++) {
      found[k] = {z[2 * k], z[2 * k + 1]};
      real += z[2 * k + 1] == 0;
    }
    if (real != q.real[i]) gsl_measured[set].wrong_count++;
    record_errors(q.exact[i], found, 4, errors, n);
  }
  summarise(errors, n, gsl_measured[set]);
}

// Runs the timed loop of a benchmark and returns the wall time per iteration in ns.
template <typename Solve>
double timed_loop(benchmark::State& state, Solve solve) {
  const auto start = std::chrono::steady_clock::now();
  int i = 0;
  for (auto _ : state) {
    solve(i);
    i = (i + 1) % kCases;
  }
  const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
  return state.iterations() > 0 ? elapsed.count() / state.iterations() : 0;
}

void BM_QuarticSet(benchmark::State& state, int set) {
  const QuarticSet& q = quartic_set(set);
  armsim_measured[set].ns_per_call = timed_loop(state, [&](int i) {
    double roots[4];
    benchmark::DoNotOptimize(quartic(q.coef[i], roots));
    benchmark::DoNotOptimize(roots);
  });
  armsim_accuracy(set);
}

void BM_GslQuarticSet(benchmark::State& state, int set) {
  const QuarticSet& q = quartic_set(set);
  gsl_set_error_handler_off();
  gsl_poly_complex_workspace* workspace = gsl_poly_complex_workspace_alloc(5);
  gsl_measured[set].ns_per_call = timed_loop(state, [&](int i) {
    double z[8];
    gsl_solve(workspace, q.coef[i], z);
    benchmark::DoNotOptimize(z);
  });
  gsl_accuracy(set, workspace);
  gsl_poly_complex_workspace_free(workspace);
}

BENCHMARK_CAPTURE(BM_QuarticSet, spread, 0);
BENCHMARK_CAPTURE(BM_GslQuarticSet, spread, 0);
BENCHMARK_CAPTURE(BM_QuarticSet, clustered, 1);
BENCHMARK_CAPTURE(BM_GslQuarticSet, clustered, 1);
BENCHMARK_CAPTURE(BM_QuarticSet, widely_scaled, 2);
BENCHMARK_CAPTURE(BM_GslQuarticSet, widely_scaled, 2);
BENCHMARK_CAPTURE(BM_QuarticSet, mixed, 3);
BENCHMARK_CAPTURE(BM_GslQuarticSet, mixed, 3);
BENCHMARK_CAPTURE(BM_QuarticSet, pair_by_two_real, 4);
BENCHMARK_CAPTURE(BM_GslQuarticSet, pair_by_two_real, 4);
BENCHMARK_CAPTURE(BM_QuarticSet, two_pairs, 5);
BENCHMARK_CAPTURE(BM_GslQuarticSet, two_pairs, 5);

// Prints the comparison of the benchmarks above (run them in the same invocation).
void BM_QuarticVsGslTable(benchmark::State& state) {
  for (auto _ : state) {
  }
  std::printf("\n%-20s | %9s %9s %6s | %-21s | %-21s | %s\n", "quartics (1024)", "ns armsim",
              "ns GSL", "GSL/ar", "armsim max / median", "GSL max / median", "wrong count");
  int shown = 0;
  for (int s = 0; s < kSets; s++) {
    const Measured& a = armsim_measured[s];
    const Measured& g = gsl_measured[s];
    if (!(a.ns_per_call > 0 && g.ns_per_call > 0)) continue;  // filtered out of this run
    shown++;
    std::printf("%-20s | %9.1f %9.1f %6.2f | %9.2e / %9.2e | %9.2e / %9.2e | %d / %d\n",
                kSetNames[s], a.ns_per_call, g.ns_per_call, g.ns_per_call / a.ns_per_call,
                a.max_error, a.median_error, g.max_error, g.median_error, a.wrong_count,
                g.wrong_count);
  }
  if (shown == 0)
    std::printf("(no family measured: run with --benchmark_filter='QuarticSet|Table')\n");
  std::printf("\n");
}
BENCHMARK(BM_QuarticVsGslTable)->Iterations(1);

// Speed of each solver on precomputed random inputs.
void BM_Quadratic(benchmark::State& state) {
  static double coef[kCases][2];
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (auto& c : coef)
    for (double& value : c) value = unit(rng);
  timed_loop(state, [&](int i) {
    double roots[2];
    benchmark::DoNotOptimize(quadratic(coef[i], roots));
    benchmark::DoNotOptimize(roots);
  });
}
BENCHMARK(BM_Quadratic);

void BM_Cubic(benchmark::State& state) {
  static double coef[kCases][3];
  std::mt19937 rng(2);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (auto& c : coef)
    for (double& value : c) value = unit(rng);
  timed_loop(state, [&](int i) {
    double roots[3];
    benchmark::DoNotOptimize(cubic(coef[i], roots));
    benchmark::DoNotOptimize(roots);
  });
}
BENCHMARK(BM_Cubic);

void BM_Quartic(benchmark::State& state) {
  static double coef[kCases][4];
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (auto& c : coef)
    for (double& value : c) value = unit(rng);
  timed_loop(state, [&](int i) {
    double roots[4];
    benchmark::DoNotOptimize(quartic(coef[i], roots));
    benchmark::DoNotOptimize(roots);
  });
}
BENCHMARK(BM_Quartic);

void BM_TRI1(benchmark::State& state) {
  static double abc[kCases][3];
  std::mt19937 rng(4);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (auto& e : abc)
    for (double& value : e) value = unit(rng);
  timed_loop(state, [&](int i) {
    double out[2];
    benchmark::DoNotOptimize(TRI1(abc[i][0], abc[i][1], abc[i][2], out));
    benchmark::DoNotOptimize(out);
  });
}
BENCHMARK(BM_TRI1);

// General equations (the quartic case) with random coefficients.
void BM_TRI2(benchmark::State& state) {
  static double e[kCases][6];
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (auto& c : e)
    for (double& value : c) value = unit(rng);
  timed_loop(state, [&](int i) {
    double out[4];
    benchmark::DoNotOptimize(TRI2(e[i][0], e[i][1], e[i][2], e[i][3], e[i][4], e[i][5], out));
    benchmark::DoNotOptimize(out);
  });
}
BENCHMARK(BM_TRI2);

}  // namespace
