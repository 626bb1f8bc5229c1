// Differences, wrapping and distances of angles (radians): the one family every routine uses.
// A turn is 2 * PI with the program's PI (math/vecmat.h) unless a name says otherwise.
#pragma once

// pi as the C library carries it (M_PI: what atan2, acos and asin return). The program's PI is
// 7e-15 larger, enough to put an angle near +-pi on the other side of the cut.
constexpr double kLibraryPi = 3.141592653589793;

// a - b, or a - b +- 2*PI when that is strictly smaller in magnitude (one turn at most).
double angle_diff(double a, double b);

// a - b moved by 0, +2pi, +4pi, -2pi or -4pi (tried in that order, strictly smaller wins)
// to the value of least magnitude; lies in [-pi, pi] whenever |a - b| <= 5pi.
double angle_wrap_diff(double a, double b);

// Sum over joints 1..n of |angle_diff(a[i], b[i])|: how far apart two joint vectors are.
double joint_distance(int n, const double a[], const double b[]);

// Sum over joints i, j, k of |angle_diff(a[m], b[m])|: the same for three joints.
double joint_distance3(int i, int j, int k, const double a[], const double b[]);

// Sum over joints i, j, k of |wrap_angle(a - b)|: how far apart two placements of three joints
// are, whatever whole turns their values carry.
double wrapped_distance3(int i, int j, int k, const double a[], const double b[]);

// angle moved once by a whole turn into [-PI, PI] when it lies beyond; 2*PI off at most.
double wrap_once(double angle);

// angle moved by whole turns into [-PI, PI]: once when that suffices, else by the remainder.
double wrap_angle(double angle);

// angle minus the nearest whole number of turns (std::remainder by 2*PI, exact): in [-PI, PI],
// angle itself when already there.
double wrap_remainder(double angle);

// The same with the library's turn 2 * kLibraryPi: in [-kLibraryPi, kLibraryPi], for values
// that the library's functions produce or a library (OMPL's SO(2) space) expects.
double wrap_library_turn(double angle);
