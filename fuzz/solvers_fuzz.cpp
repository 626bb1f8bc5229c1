// Fuzz target: the polynomial root solvers and the trigonometric equation solvers on arbitrary
// coefficients, also the two reduced forms of TRI2 that the position inverse kinematics uses.
// Every call must return with a count in its documented range and finite roots;
// non-finite coefficients must give no roots.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_values.h"
#include "math/poly_roots.h"
#include "math/tri2.h"

namespace {

// The notes of the solver under test, emptied before each call.
MessageLog messages;

// Roots and complex parts all finite for finite coefficients; 0 with zeros stored otherwise.
void check_roots(const double coef[], int degree, int count, const double roots[]) {
  if (finite_all(coef, degree)) {
    require(finite_all(roots, degree), "polynomial root not finite");
    return;
  }
  require(count == 0, "roots from non-finite coefficients");
  for (int k = 0; k < degree; k++) require(roots[k] == 0, "non-finite coefficients: root not zero");
}

void fuzz_quadratic(FuzzedDataProvider& in) {
  const double coef[2] = {fuzz_double(in), fuzz_double(in)};
  fuzzCase = {coef, 2};
  double roots[2];
  const int count = quadratic(coef, roots);
  require(count == 0 || count == 2, "quadratic count");
  check_roots(coef, 2, count, roots);
}

void fuzz_cubic(FuzzedDataProvider& in) {
  const double coef[3] = {fuzz_double(in), fuzz_double(in), fuzz_double(in)};
  fuzzCase = {coef, 3};
  double roots[3];
  const int count = cubic(coef, roots);
  require(count == 0 || count == 1 || count == 3, "cubic count");
  // A cubic always has a real root: 0 only for coefficients it cannot handle.
  if (count == 0)
    for (double root : roots) require(root == 0, "cubic without roots: root not zero");
  check_roots(coef, 3, count, roots);
}

void fuzz_quartic(FuzzedDataProvider& in) {
  double coef[4];
  for (double& c : coef) c = fuzz_double(in);
  fuzzCase = {coef, 4};
  double roots[4];
  const int count = quartic(coef, roots);
  require(count == 0 || count == 2 || count == 4, "quartic count");
  check_roots(coef, 4, count, roots);
}

// Both roots wrapped into [-PI, PI] and solving the equation to rounding, relative to the
// largest coefficient; zeros when there is none.
void fuzz_tri1(FuzzedDataProvider& in) {
  const double a = fuzz_double(in), b = fuzz_double(in), c = fuzz_double(in);
  const double abc[3] = {a, b, c};
  fuzzCase = {abc, 3};
  double out[2];
  const int count = TRI1(a, b, c, out);
  require(count == 0 || count == 2, "TRI1 count");
  if (count == 0) {
    require(out[0] == 0 && out[1] == 0, "TRI1 without roots: outputs not zero");
    return;
  }
  const double scale = std::fmax(std::fabs(a), std::fmax(std::fabs(b), std::fabs(c)));
  for (double t : out) {
    require(std::isfinite(t) && std::fabs(t) <= PI, "TRI1 root not in [-PI, PI]");
    // 1e-9: the wrap by 2*PI instead of the exact 2*pi alone costs about 4e-14.
    const double residual = a / scale * std::cos(t) + b / scale * std::sin(t) + c / scale;
    require(std::fabs(residual) <= 1e-9, "TRI1 root does not solve the equation");
  }
}

// Up to four finite roots, each solving the equation to 1e-3 of its largest coefficient (near
// double roots are only as exact as their conditioning allows); the branch without linear terms
// may leave [-PI, PI] by PI/4.
void fuzz_tri2(FuzzedDataProvider& in) {
  double k[6];
  for (double& c : k) c = fuzz_double(in);
  fuzzCase = {k, 6};
  double out[4];
  log_clear(messages);
  const int count = TRI2(k[0], k[1], k[2], k[3], k[4], k[5], out, &messages);
  require(count >= 0 && count <= 4, "TRI2 count");
  if (!finite_all(k, 6)) require(count == 0, "TRI2 roots from non-finite coefficients");
  // The residual is checked only where the solver's absolute thresholds (1e-8) cannot take a
  // term for zero: every coefficient 0 or between 1e-3 and 1e100 in magnitude.
  double scale = 0;
  bool wellScaled = true;
  for (double c : k) {
    scale = std::fmax(scale, std::fabs(c));
    if (c != 0 && !(std::fabs(c) >= 1e-3 && std::fabs(c) <= 1e100)) wellScaled = false;
  }
  for (int r = 0; r < count; r++) {
    require(std::isfinite(out[r]) && std::fabs(out[r]) <= 1.25 * PI + 1e-12, "TRI2 root");
    const double c = std::cos(out[r]), s = std::sin(out[r]);
    const double residual =
        k[0] * c * c + k[1] * s * s + 2 * k[2] * s * c + 2 * k[3] * c + 2 * k[4] * s + k[5];
    if (wellScaled) require(std::fabs(residual) <= 1e-3 * scale, "TRI2 root does not solve");
  }
}

// The reduced forms without sin*cos and with one linear term: 0, 2 or 4 finite roots in
// [-PI, PI] (to the rounding of the decimal pi of the sine form).
void fuzz_tri2_reduced(FuzzedDataProvider& in) {
  const bool cosine_form = in.ConsumeBool();
  double k[4];
  for (double& c : k) c = fuzz_double(in);
  fuzzCase = {k, 4};
  double out[4];
  const int count =
      cosine_form ? TRI2C(k[0], k[1], k[2], k[3], out) : TRI2S(k[0], k[1], k[2], k[3], out);
  require(count == 0 || count == 2 || count == 4, "TRI2C/TRI2S count");
  for (int r = 0; r < count; r++)
    require(std::isfinite(out[r]) && std::fabs(out[r]) <= PI + 1e-9, "TRI2C/TRI2S root");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0:
      fuzz_quadratic(in);
      break;
    case 1:
      fuzz_cubic(in);
      break;
    case 2:
      fuzz_quartic(in);
      break;
    case 3:
      fuzz_tri1(in);
      break;
    case 4:
      fuzz_tri2(in);
      break;
    default:
      fuzz_tri2_reduced(in);
      break;
  }
  return 0;
}
