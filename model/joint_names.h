// The names of the joints and links as the world outside the program knows them: the URDF export
// (model/urdf_export.h) names its joints and links so, and every table of joint values names its
// columns so, joint i being element i of a joint vector (q[1..N]) and entry i of a JSON `q` array
// (index i - 1).
#pragma once

#include "model/state.h"

// "joint1".."joint7" for joints 1..kMaxJoints; entry 0 (the base, no joint) is empty.
inline constexpr const char* kJointNames[kMaxJoints + 1] = {"",       "joint1", "joint2", "joint3",
                                                            "joint4", "joint5", "joint6", "joint7"};

// The link each joint turns: "base_link" (entry 0, the fixed base), "link1".."link7".
inline constexpr const char* kLinkNames[kMaxJoints + 1] = {"base_link", "link1", "link2", "link3",
                                                           "link4",     "link5", "link6", "link7"};
