#include "planning/joint_path.h"

#include <cmath>

namespace {

double segment_length(int N, const JointVector& a, const JointVector& b) {
  double s = 0;
  for (int i = 1; i <= N; i++) s += (b[i] - a[i]) * (b[i] - a[i]);
  return std::sqrt(s);
}

}  // namespace

double path_length(int N, const JointPath& path) {
  double length = 0;
  for (size_t k = 1; k < path.size(); k++) length += segment_length(N, path[k - 1], path[k]);
  return length;
}

void sample_path(int N, const JointPath& path, int steps, JointPath& out) {
  out.clear();
  if (path.empty()) return;
  const double total = path_length(N, path);
  size_t segment = 1;
  double before = 0;  // length of the path up to waypoint segment - 1
  for (int k = 0; k <= steps; k++) {
    if (k == steps || path.size() == 1 || !(total > 0)) {
      out.push_back(k == 0 ? path.front() : path.back());
      continue;
    }
    const double at = total * k / steps;
    while (segment + 1 < path.size() &&
           before + segment_length(N, path[segment - 1], path[segment]) < at)
      before += segment_length(N, path[segment - 1], path[segment]), segment++;
    const JointVector &a = path[segment - 1], &b = path[segment];
    const double len = segment_length(N, a, b);
    const double t = len > 0 ? std::fmin(1.0, (at - before) / len) : 0;
    JointVector q{};
    for (int i = 1; i <= N; i++) q[i] = a[i] + t * (b[i] - a[i]);
    out.push_back(q);
  }
}

int certify_path(const RobotModel& robot, const Workcell& cell, const JointPath& path,
                 Kinematics& kin, double& minWall, double& minFloor, double& minObstacle) {
  minWall = minFloor = minObstacle = INFINITY;
  if (path.empty()) return 0;
  for (size_t k = 1; k < path.size(); k++) {
    MotionCheck check;
    motion_check(robot, cell, path[k - 1].data(), path[k].data(), kin, check);
    minWall = std::fmin(minWall, check.minWall);
    minFloor = std::fmin(minFloor, check.minFloor);
    minObstacle = std::fmin(minObstacle, check.minObstacle);
    if (check.collides) return 0;
  }
  // The last waypoint, which its segment's last step covers without evaluating it.
  WorkcellClearance end;
  const int valid = pose_check(robot, cell, path.back().data(), kin, end);
  minWall = std::fmin(minWall, end.wall);
  minFloor = std::fmin(minFloor, end.floor);
  minObstacle = std::fmin(minObstacle, end.obstacle);
  return valid;
}

long segment_index(const SegmentList& segments, const JointVector& a, const JointVector& b) {
  for (size_t s = 0; s < segments.size(); s++)
    if (segments[s].first == a && segments[s].second == b) return static_cast<long>(s);
  return -1;
}

bool listed(const SegmentList& segments, const JointVector& a, const JointVector& b) {
  return segment_index(segments, a, b) >= 0;
}

int path_free(const RobotModel& robot, const Workcell& cell, const JointPath& path,
              const SegmentList& known, Kinematics& kin) {
  if (path.size() == 1) return pose_valid(robot, cell, path[0].data(), kin);
  for (size_t k = 1; k < path.size(); k++) {
    if (listed(known, path[k - 1], path[k])) continue;
    MotionVerdict verdict;
    if (motion_verdict(robot, cell, path[k - 1].data(), path[k].data(), kin, verdict)) return 0;
  }
  return !path.empty();
}

namespace {

int certify(const RobotModel& robot, const Workcell& cell, const JointPath& path, int measure,
            const SegmentList& known, Kinematics& kin, double& minWall, double& minFloor,
            double& minObstacle) {
  if (measure) return certify_path(robot, cell, path, kin, minWall, minFloor, minObstacle);
  minWall = minFloor = minObstacle = NAN;
  return path_free(robot, cell, path, known, kin);
}

}  // namespace

int certify_or_fall_back(const RobotModel& robot, const Workcell& cell, const JointPath& fallback,
                         int measure, const SegmentList& known, JointPath& path, Kinematics& kin,
                         double& minWall, double& minFloor, double& minObstacle) {
  if (certify(robot, cell, path, measure, known, kin, minWall, minFloor, minObstacle)) return 1;
  path = fallback;
  if (certify(robot, cell, path, measure, known, kin, minWall, minFloor, minObstacle)) return 1;
  path.clear();
  return 0;
}
