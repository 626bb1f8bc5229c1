// Speed per call of the polynomial and trigonometric equation solvers, and the quartic solver
// side by side with GSL's companion-matrix solver (gsl_poly_complex_solve) on three sets of
// random quartics with four known real roots: time per call, their ratio, and the largest and
// median relative error of the real roots against the roots polished in long double. The last
// benchmark prints that comparison as a table.
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
#include "math/tri2.h"

namespace {

constexpr int kCases = 1024;
constexpr int kSets = 3;
const char* const kSetNames[kSets] = {"spread in [-1, 1]", "clustered", "widely scaled"};

// One set of quartics: monic coefficients (rounded to double from the known roots) and their
// exact roots, polished in long double on those double coefficients.
struct QuarticSet {
  double coef[kCases][4];
  long double exact[kCases][4];
};

// What the comparison table shows for one solver on one set.
struct Measured {
  double ns_per_call = 0;
  double max_error = 0;
  double median_error = 0;
  int not_all_real = 0;  // quartics where fewer than four roots came back real
};

Measured armsim_measured[kSets], gsl_measured[kSets];

// Four distinct real roots: spread over [-1, 1] at least 0.05 apart, clustered within 0.1 of a
// centre at least 0.05 apart, or one in each decade of magnitude from 0.01 to 100.
void random_roots(std::mt19937& rng, int set, double roots[4]) {
  std::uniform_real_distribution<double> unit(-1, 1);
  if (set == 2) {
    for (int k = 0; k < 4; k++) {
      const double magnitude = std::pow(10.0, k - 1.5 + 0.5 * unit(rng));
      roots[k] = unit(rng) < 0 ? -magnitude : magnitude;
    }
    std::shuffle(roots, roots + 4, rng);
    return;
  }
  for (;;) {
    const double centre = 0.8 * unit(rng);
    for (int k = 0; k < 4; k++) roots[k] = set == 0 ? unit(rng) : centre + 0.1 * unit(rng);
    bool apart = true;
    for (int i = 0; i < 4; i++)
      for (int j = 0; j < i; j++) apart = apart && std::fabs(roots[i] - roots[j]) >= 0.05;
    if (apart) return;
  }
}

// Newton in long double on the double coefficients, from a known root.
long double exact_root(const double coef[4], long double x) {
  for (int step = 0; step < 50; step++) {
    long double value = 1, slope = 0;
    for (int k = 0; k < 4; k++) {
      slope = slope * x + value;
      value = value * x + coef[k];
    }
    const long double next = x - value / slope;
    if (next == x) break;
    x = next;
  }
  return x;
}

const QuarticSet& quartic_set(int set) {
  static QuarticSet sets[kSets];
  static bool built = false;
  if (!built) {
    for (int s = 0; s < kSets; s++) {
      std::mt19937 rng(500 + s);
      for (int i = 0; i < kCases; i++) {
        double roots[4];
        random_roots(rng, s, roots);
        long double full[5] = {1, 0, 0, 0, 0};
        for (int r = 0; r < 4; r++)
          for (int k = r + 1; k >= 1; k--) full[k] -= roots[r] * full[k - 1];
        for (int k = 0; k < 4; k++) sets[s].coef[i][k] = static_cast<double>(full[k + 1]);
        for (int k = 0; k < 4; k++) sets[s].exact[i][k] = exact_root(sets[s].coef[i], roots[k]);
      }
    }
    built = true;
  }
  return sets[set];
}

// Relative error of each exact root against the nearest of the candidates; the largest and the
// median over the set go into measured.
void record_errors(const long double exact[4], const std::complex<double> found[], int count,
                   double errors[], int& n) {
  for (int k = 0; k < 4; k++) {
    double nearest = INFINITY;
    for (int i = 0; i < count; i++) {
      const long double re = found[i].real() - exact[k], im = found[i].imag();
      const long double gap = std::sqrt(re * re + im * im) / std::fabs(exact[k]);
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
  armsim_measured[set].not_all_real = 0;
  for (int i = 0; i < kCases; i++) {
    double roots[4];
    const int count = quartic(q.coef[i], roots);
    std::complex<double> found[4];
    for (int k = 0; k < count; k++) found[k] = roots[k];
    if (count < 4) armsim_measured[set].not_all_real++;
    record_errors(q.exact[i], found, count, errors, n);
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
  gsl_measured[set].not_all_real = 0;
  for (int i = 0; i < kCases; i++) {
    double z[8];
    gsl_solve(workspace, q.coef[i], z);
    std::complex<double> found[4];
    bool all_real = true;
    for (int k = 0; k < 4; k++) {
      found[k] = {z[2 * k], z[2 * k + 1]};
      all_real = all_real && z[2 * k + 1] == 0;
    }
    if (!all_real) gsl_measured[set].not_all_real++;
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

// Prints the comparison of the benchmarks above (run them in the same invocation).
void BM_QuarticVsGslTable(benchmark::State& state) {
  for (auto _ : state) {
  }
  std::printf("\n%-18s | %9s %9s %6s | %-21s | %-21s | %s\n", "quartics (1024)", "ns armsim",
              "ns GSL", "GSL/ar", "armsim max / median", "GSL max / median", "not all real");
  for (int s = 0; s < kSets; s++) {
    const Measured& a = armsim_measured[s];
    const Measured& g = gsl_measured[s];
    std::printf("%-18s | %9.1f %9.1f %6.2f | %9.2e / %9.2e | %9.2e / %9.2e | %d / %d\n",
                kSetNames[s], a.ns_per_call, g.ns_per_call,
                a.ns_per_call > 0 ? g.ns_per_call / a.ns_per_call : 0, a.max_error, a.median_error,
                g.max_error, g.median_error, a.not_all_real, g.not_all_real);
  }
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
