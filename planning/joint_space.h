// The robot's joints as one OMPL state of N angles in one block: the bounds, distances and
// interpolation of OMPL's compound space of N SO2 angles of weight 1, to the bit, without the
// N + 1 allocations of a compound state. Angles in radians, in [-pi, pi) with the library's pi.
#pragma once

#include <ompl/base/spaces/RealVectorStateSpace.h>

class JointSpace : public ompl::base::RealVectorStateSpace {
 public:
  explicit JointSpace(int N);

  double getMaximumExtent() const override;  // N pi
  double getMeasure() const override;        // (2 pi)^N
  // Each angle wrapped into [-pi, pi) as OMPL wraps it: pi itself goes to -pi, where
  // wrap_library_turn (math/angles.h) keeps it, so that one is not used here.
  void enforceBounds(ompl::base::State* state) const override;
  bool satisfiesBounds(const ompl::base::State* state) const override;
  // Sum over the joints of each angle's short way round.
  double distance(const ompl::base::State* a, const ompl::base::State* b) const override;
  bool equalStates(const ompl::base::State* a, const ompl::base::State* b) const override;
  // Each joint the short way round, at fraction t, wrapped.
  void interpolate(const ompl::base::State* from, const ompl::base::State* to, double t,
                   ompl::base::State* state) const override;
  // The default projection for KPIECE-like planners: the first three joints, a grid of 1/8 turn.
  void registerProjections() override;
};

// The angles of a JointSpace state, joint 1 first.
inline double* joint_values(ompl::base::State* state) {
  return state->as<ompl::base::RealVectorStateSpace::StateType>()->values;
}

inline const double* joint_values(const ompl::base::State* state) {
  return state->as<ompl::base::RealVectorStateSpace::StateType>()->values;
}
