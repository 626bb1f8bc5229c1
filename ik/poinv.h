// Position/orientation inverse kinematics of the whole arm, and the error measures it uses.
#pragma once

// a - b, or a - b +- 2*PI when that is strictly smaller in magnitude (one turn at most).
double angle_diff(double a, double b);
