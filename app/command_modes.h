// The modes of the command line that run without a window (--solve, --method-b, --map, --plan,
// --urdf, --animate): each builds a scene of its own from the start-up scene with the given type,
// goal and wall (the window's scene is left alone), runs, prints to the stream it is given and
// returns the exit status.
#pragma once

#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "contact/placement.h"
#include "model/state.h"
#include "task/method_b_step.h"

// What one command works on: the robot model (of type 1..4), the workcell, the kinematic
// workspace, Method B's state and the placement solver's poses.
struct CommandScene {
  RobotModel robot;
  Kinematics kin;
  Workcell cell;
  MethodBState methodB;
  PlacementResult placements;
};

// Builds into scene (zeroed before) the start-up scene with command's type (as the robot menu
// chooses it), the workcell file's goal, wall and boxes (apply_workcell_file), then command's
// goal and wall (as the dialogs take them), at the initial pose. Returns 1, or 0 with why when
// the goal is out of reach or no arm 2..5 can reach the wall.
int command_scene(const CommandLine& command, CommandScene& scene, std::string& why);

// --solve: every goal pose of the scene (the console table, or JSON) to out; the reason to err
// when there is none. Returns 0 with at least one pose, 1 without, 2 for a refused scene (with
// --json also a document with the reason to out, as --method-b and --plan do).
int run_solve_command(const CommandLine& command, FILE* out, FILE* err);

// --method-b: Method B from the initial pose as the status asks, its trace (or JSON) to out.
// Returns 0 with a final pose valid in the workcell, 1 without a final pose or with one that cuts
// the wall, the floor or a box (the reason to err and to JSON's reason), 2 for a scene the
// dialogs refuse.
int run_method_b_command(const CommandLine& command, FILE* out, FILE* err);

// --map: the feasibility map of one type or all four (PNG, and CSV when asked), a progress bar on
// err when it is a terminal, one summary line per type to out. Returns 0, or 2 for a wall the
// dialog refuses or a file that cannot be written (nothing is left behind then).
int run_map_command(const CommandLine& command, FILE* out, FILE* err);

// --plan: a collision-free motion from the initial pose to the goal pose --to names (the
// straight joint line when free, else planned), as text or JSON to out, and the motion in 100
// steps of equal joint-space length to --csv. Returns 0 with a motion, 1 without (the reason to
// err: no valid goal pose, goal pose invalid, no path within the limit), 2 for a refused scene
// or a pose number beyond the list (no file written then).
int run_plan_command(const CommandLine& command, FILE* out, FILE* err);
// --urdf: the robot of the command's type as URDF (model/urdf_export.h), with --scene also the
// wall (its edge as the wall dialog sets it) and the floor, to out or to the file command.out
// (written whole under a temporary name, or not at all). Returns 0, or 2 for a wall the dialog
// refuses or output that cannot be written (nothing is left behind then).
int run_urdf_command(const CommandLine& command, FILE* out, FILE* err);

// --animate: the timed motion of --plan's goal pose and motion as a film (film/motion_film.h)
// in command.film, written whole under a temporary name (removed also when a signal ends the
// program), a progress bar on err when it is a terminal, then --plan's text and the film's
// summary to out. Returns 0 with a film, 1 when there is no motion to film (the reason to err),
// 2 for a refused scene, a pose number beyond the list or a film that cannot be made or written
// (nothing is left behind then).
int run_animate_command(const CommandLine& command, FILE* out, FILE* err);

// The command's mode; the window mode is not run here (returns -1).
int run_command(const CommandLine& command, FILE* out, FILE* err);
