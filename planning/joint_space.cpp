#include "planning/joint_space.h"

#include <ompl/base/ProjectionEvaluator.h>

#include <cmath>
#include <limits>

#include "math/angles.h"
#include "math/vecmat.h"

namespace ob = ompl::base;

namespace {

constexpr double kPi = kLibraryPi;

// One angle the short way round from a to b at fraction t, in [-pi, pi].
double turn_between(double a, double b, double t) {
  double diff = b - a;
  if (std::fabs(diff) <= kPi) return a + diff * t;
  diff = diff > 0.0 ? 2.0 * kPi - diff : -2.0 * kPi - diff;
  double v = a - diff * t;
  if (v > kPi)
    v -= 2.0 * kPi;
  else if (v < -kPi)
    v += 2.0 * kPi;
  return v;
}

class LeadingJointsProjection : public ob::ProjectionEvaluator {
 public:
  explicit LeadingJointsProjection(const ob::StateSpace* space) : ob::ProjectionEvaluator(space) {}

  unsigned int getDimension() const override { return 3; }

  void defaultCellSizes() override { cellSizes_.assign(3, PI / 4); }

  void project(const ob::State* state, Eigen::Ref<Eigen::VectorXd> projection) const override {
    const double* q = joint_values(state);
    for (int i = 0; i < 3; i++) projection(i) = q[i];
  }
};

}  // namespace

JointSpace::JointSpace(int N) : ob::RealVectorStateSpace(N) {
  type_ = ob::STATE_SPACE_UNKNOWN;
  setBounds(-kPi, kPi);
}

double JointSpace::getMaximumExtent() const {
  double e = 0.0;
  for (unsigned i = 0; i < dimension_; i++) e += kPi;
  return e;
}

double JointSpace::getMeasure() const {
  double m = 1.0;
  for (unsigned i = 0; i < dimension_; i++) m *= 2.0 * kPi;
  return m;
}

void JointSpace::enforceBounds(ob::State* state) const {
  double* q = joint_values(state);
  for (unsigned i = 0; i < dimension_; i++) {
    double v = std::fmod(q[i], 2.0 * kPi);
    if (v < -kPi)
      v += 2.0 * kPi;
    else if (v >= kPi)
      v -= 2.0 * kPi;
    q[i] = v;
  }
}

bool JointSpace::satisfiesBounds(const ob::State* state) const {
  const double* q = joint_values(state);
  for (unsigned i = 0; i < dimension_; i++)
    if (!(q[i] < kPi && q[i] >= -kPi)) return false;
  return true;
}

double JointSpace::distance(const ob::State* a, const ob::State* b) const {
  const double *p = joint_values(a), *q = joint_values(b);
  double sum = 0.0;
  for (unsigned i = 0; i < dimension_; i++) {
    const double d = std::fabs(p[i] - q[i]);
    sum += d > kPi ? 2.0 * kPi - d : d;
  }
  return sum;
}

bool JointSpace::equalStates(const ob::State* a, const ob::State* b) const {
  const double *p = joint_values(a), *q = joint_values(b);
  for (unsigned i = 0; i < dimension_; i++)
    if (!(std::fabs(p[i] - q[i]) < std::numeric_limits<double>::epsilon() * 2.0)) return false;
  return true;
}

void JointSpace::interpolate(const ob::State* from, const ob::State* to, double t,
                             ob::State* state) const {
  const double *a = joint_values(from), *b = joint_values(to);
  double* q = joint_values(state);
  for (unsigned i = 0; i < dimension_; i++) q[i] = turn_between(a[i], b[i], t);
}

void JointSpace::registerProjections() {
  registerDefaultProjection(std::make_shared<LeadingJointsProjection>(this));
}
