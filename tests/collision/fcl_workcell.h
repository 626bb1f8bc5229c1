// The workcell rebuilt in FCL, the independent reference for pose checks (tests and the
// benchmark): a capsule per tube (arms 1..N-1, the hand), a box for the workpiece, a thin box
// for the wall plate and a large box below z = 0 for the floor (FCL's half-space crashes in
// distance queries with the default solver), and the cell's boxes. Arm 1 stands on the floor and
// is exempt from it.
#pragma once

#include <fcl/geometry/shape/box.h>
#include <fcl/geometry/shape/capsule.h>
#include <fcl/narrowphase/collision.h>
#include <fcl/narrowphase/collision_object.h>
#include <fcl/narrowphase/distance.h>

#include <cmath>
#include <memory>
#include <vector>

#include "model/state.h"

class FclWorkcell {
 public:
  // Plate thickness: thin enough to count as a rectangle at the tolerances compared.
  static constexpr double kPlateThickness = 1e-9;

  // The bodies of `robot` (tube lengths taken from the posed kin), the plate of the edge rh.
  FclWorkcell(const RobotModel& robot, const Kinematics& kin, const Vec3& rh)
      : N_(robot.N),
        plate_(std::make_shared<fcl::Boxd>(4, kPlateThickness, 4)),
        floor_(std::make_shared<fcl::Boxd>(1000, 1000, 10)) {
    for (int body = 1; body <= N_; body++) {
      Vec3 a, b;
      tube(kin, body, a, b);
      const double len = std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) +
                                   (b.z - a.z) * (b.z - a.z));
      bodies_.emplace_back(std::make_shared<fcl::Capsuled>(robot.linkRadius, len));
    }
    bodies_.emplace_back(
        std::make_shared<fcl::Boxd>(robot.workSize[0], robot.workSize[1], robot.workSize[2]));
    floor_.setTranslation(fcl::Vector3d(0, 0, -5));
    floor_.computeAABB();
    set_wall(rh);
    set_pose(kin);
  }

  void set_wall(const Vec3& rh) {
    plate_.setTranslation(fcl::Vector3d(rh.x - 2, rh.y, rh.z + 2));
    plate_.computeAABB();
  }

  // Moves every body to the pose in kin.
  void set_pose(const Kinematics& kin) {
    for (int body = 1; body <= N_; body++) {
      Vec3 a, b;
      tube(kin, body, a, b);
      const fcl::Vector3d pa(a.x, a.y, a.z), pb(b.x, b.y, b.z);
      // The capsule is centred on its origin along its own z axis.
      const fcl::Quaterniond turn =
          fcl::Quaterniond::FromTwoVectors(fcl::Vector3d::UnitZ(), pb - pa);
      bodies_[body - 1].setTransform(turn.toRotationMatrix(), 0.5 * (pa + pb));
      bodies_[body - 1].computeAABB();
    }
    fcl::Matrix3d Ew;
    for (int i = 0; i < 3; i++)
      for (int j = 0; j < 3; j++) Ew(i, j) = kin.Ew.m[3 * i + j];
    bodies_[N_].setTransform(Ew, fcl::Vector3d(kin.rw.x, kin.rw.y, kin.rw.z));
    bodies_[N_].computeAABB();
  }

  // The cell's boxes as FCL boxes (replacing any set before).
  void set_obstacles(const Workcell& cell) {
    obstacles_.clear();
    for (int j = 0; j < cell.obstacleCount; j++) {
      const Obstacle& o = cell.obstacles[j];
      fcl::Matrix3d R;
      for (int i = 0; i < 3; i++)
        for (int k = 0; k < 3; k++) R(i, k) = o.R.m[3 * i + k];
      obstacles_.emplace_back(std::make_shared<fcl::Boxd>(o.size[0], o.size[1], o.size[2]), R,
                              fcl::Vector3d(o.centre.x, o.centre.y, o.centre.z));
      obstacles_.back().computeAABB();
    }
  }

  // Whether any body meets any box (pairs whose bounding boxes are apart are not asked, as a
  // broad phase would not), and the least distance of any body from any box.
  bool obstacle_hit() const {
    for (const auto& body : bodies_)
      for (const auto& box : obstacles_)
        if (body.getAABB().overlap(box.getAABB()) && hit(body, box)) return true;
    return false;
  }
  double obstacle_distance() const {
    double least = INFINITY;
    for (const auto& body : bodies_)
      for (const auto& box : obstacles_) least = std::fmin(least, distance(body, box));
    return least;
  }

  // Whether any body meets the plate, and whether any body but arm 1 meets the floor.
  bool wall_hit() const {
    for (const auto& body : bodies_)
      if (hit(body, plate_)) return true;
    return false;
  }
  bool floor_hit() const {
    for (size_t k = 1; k < bodies_.size(); k++)
      if (hit(bodies_[k], floor_)) return true;
    return false;
  }

  // The least FCL distance of the bodies from plate and floor (arm 1 exempt from the floor).
  double least_distance() const {
    double least = INFINITY;
    for (size_t k = 0; k < bodies_.size(); k++) {
      least = std::fmin(least, distance(bodies_[k], plate_));
      if (k > 0) least = std::fmin(least, distance(bodies_[k], floor_));
    }
    return least;
  }

 private:
  void tube(const Kinematics& kin, int body, Vec3& a, Vec3& b) const {
    a = kin.Jpos[body];
    b = body < N_ ? kin.Jpos[body + 1] : kin.rw;
  }
  static bool hit(const fcl::CollisionObjectd& a, const fcl::CollisionObjectd& b) {
    fcl::CollisionRequestd request;
    fcl::CollisionResultd result;
    fcl::collide(&a, &b, request, result);
    return result.isCollision();
  }
  static double distance(const fcl::CollisionObjectd& a, const fcl::CollisionObjectd& b) {
    fcl::DistanceRequestd request;
    fcl::DistanceResultd result;
    return fcl::distance(&a, &b, request, result);
  }

  int N_;
  std::vector<fcl::CollisionObjectd> bodies_;  // body k (1..N, N the hand) at k - 1, then the box
  fcl::CollisionObjectd plate_, floor_;
  std::vector<fcl::CollisionObjectd> obstacles_;
};
