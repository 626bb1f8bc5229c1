#include "model/state.h"

RobotModel robot;
Kinematics kin;
Workcell cell;
