// The program's command line, read with CLI11 into a plain struct. Four modes run without a
// window and exit:
//   armsim --solve    [--type T] [--goal X Y Z] [--wall Y] [--json]
//   armsim --method-b [--type T] [--goal X Y Z] [--wall Y] [--max-steps N] [--json]
//   armsim --map      [--type T|all] [--wall Y] [--step S] [--threads N] [--out FILE.png]
//                     [--csv FILE.csv]
//   armsim --plan     [--type T] [--goal X Y Z] [--wall Y] [--to best|method-b|K]
//                     [--planner NAME] [--time-limit S] [--seed N] [--json] [--csv FILE.csv]
//                     [--trajectory FILE.csv] [--rate HZ] [--max-velocity V]
//                     [--max-acceleration A] [--max-jerk J]
//   armsim --urdf     [--type T] [--scene [--wall Y]] [--out FILE]
//   armsim --animate FILE.gif|FILE.mp4|FILE.png [the --plan options of the scene, the goal pose,
//                     the planner and the joint limits] [--fps N] [--size WxH]
// Every mode, and the window, also takes --workcell FILE: a workcell file (task/workcell_file.h)
// with the type, goal, wall and boxes; --type, --goal and --wall override the file's.
// `armsim --help` lists every option, `armsim --version` prints the version. Without a mode the
// program opens its window as before: the toolkit reads its own options (-display NAME, -geometry
// WxH+X+Y, -iconic, -direct, -indirect, -gldebug, -sync), which toolkit_arguments leaves in argv.
// Negative numbers are written plainly (--goal -0.6 2.2 0, --wall -1). Numbers are read in the
// C locale whatever the process's locale.
//
// Checked here: unknown options (the message names the nearest known one) and stray words,
// missing or extra values, text that is no number, nan and inf, a type outside 1..4 (`all` with
// --map only), --max-steps < 1, --threads < 1, --to other than best, method-b or a whole number
// >= 1, an unknown --planner, a --time-limit <= 0 or above kMaxTimeLimit, a --seed that is no
// whole number, a step <= 0 or so small that a map would have more than kMapMaxCells cells,
// options of one mode with another or with none, two modes at once, toolkit options with a mode,
// output files whose directory is missing or not writable, --out equal to --csv or (--map) not
// .png, --wall with --urdf but without --scene (the wall would not be written), and the workcell
// file, read whole and strictly. Not checked here: whether the goal is in reach and the wall
// acceptable for the type. The dialogs' tests belong to the caller, who knows the robot model:
// see goalGiven, wallGiven and apply_workcell_file, and report a refusal with command_line_error
// (exit status 2).
// The timed motion's options are checked here too: a --rate <= 0 or above kMaxTrajectoryRate, a
// joint limit that is not a number > 0, or not one of them (every joint) or seven separated by
// commas (joints 1..7), and --trajectory naming the --csv file.
// And the film's: an --animate file whose extension is not .gif, .mp4 or .png, or that cannot be
// written, an --fps outside kMinFilmFps..kMaxFilmFps, a --size not WxH or with a side outside
// kMinFilmSize..kMaxFilmSize, and an MP4 of odd sides (yuv420p halves them).
#pragma once

#include <cstdio>
#include <string>

#include "film/motion_film.h"
#include "planning/trajectory.h"
#include "task/feasibility_map.h"
#include "task/method_b_run.h"
#include "task/workcell_file.h"

enum CommandMode {
  kModeWindow,   // no mode given: the interactive program with its window
  kModeSolve,    // --solve
  kModeMethodB,  // --method-b
  kModeMap,      // --map
  kModePlan,     // --plan
  kModeUrdf,     // --urdf
  kModeAnimate,  // --animate FILE
};

// What parse_command_line returns.
enum CommandLineResult {
  kCommandLineRun,    // go on in command.mode
  kCommandLineHelp,   // command.message holds the help (or --version's) text: print it to
                      // stdout, exit 0
  kCommandLineError,  // command.message holds one line: print it to stderr, exit 2
};

// What --version prints after the program's name.
constexpr const char* kProgramVersion = "1.0";

// The default PNG of --map.
constexpr const char* kDefaultMapPicture = "feasibility_map.png";

// Rows a second of the timed motion's table (--rate): the default and the most.
constexpr double kDefaultTrajectoryRate = 250;
constexpr double kMaxTrajectoryRate = 10000;

struct CommandLine {
  CommandMode mode = kModeWindow;
  // Robot type 1..4 when typeGiven (by --type or the workcell file) and not allTypes; else the
  // start-up scene's type.
  int type = 1;
  bool typeGiven = false;
  bool allTypes = false;  // --type all (--map only): the four types side by side
  // --goal: x, y and the height of the workpiece's underside; meaningful when goalGiven.
  double goal[3] = {0, 0, 0};
  bool goalGiven = false;
  // --wall: the y of the wall's vertical edge; meaningful when wallGiven.
  double wallY = 0;
  bool wallGiven = false;
  bool json = false;                     // --json (--solve, --method-b, --plan)
  int maxSteps = kMethodBMaxSteps;       // --max-steps (--method-b), >= 1
  double step = kMapDefaultStep;         // --step (--map), > 0
  int threads = 0;                       // --threads (--map), >= 1; 0 when not given: every core
  std::string out = kDefaultMapPicture;  // --out (--map); with --urdf empty unless given: stdout
  std::string csv;                       // --csv (--map, --plan); empty: no table
  bool scene = false;                    // --scene (--urdf): the wall and the floor too
  // --to (--plan): the goal pose, the complete solver's best (planIndex 0), its planIndex-th
  // pose (1-based), or Method B's final pose (planToMethodB).
  int planIndex = 0;
  bool planToMethodB = false;
  std::string planner = kDefaultPlanner;     // --planner (--plan)
  double timeLimit = kDefaultPlanTimeLimit;  // --time-limit (--plan), seconds per goal pose, > 0
  unsigned seed = kDefaultPlanSeed;          // --seed (--plan)
  // --workcell: the file as read, less the goal and wall that --goal and --wall override (its
  // type is in type); empty (source "") when not given.
  WorkcellFile workcell;
  std::string message;  // the help text, or the error line (no line feed)

  // The timed motion (--plan). --trajectory: its table, empty for none. --rate: the table's
  // rows a second, > 0, at most kMaxTrajectoryRate. --max-velocity, --max-acceleration,
  // --max-jerk: each joint's limits, slots 1..7. timingGiven: any of these five was given, and
  // the output then tells the timed motion.
  std::string trajectory;
  double rate = kDefaultTrajectoryRate;
  JointLimits limits = default_joint_limits();
  bool timingGiven = false;  // any of the five above: the output then tells the timed motion
  // --animate: the film's file and its format (FilmFormat, from the extension); --fps frames a
  // second and --size width x height in pixels.
  std::string film;
  int filmFormat = kFilmUnknown;
  int fps = kDefaultFilmFps;
  int filmWidth = kDefaultFilmSize;
  int filmHeight = kDefaultFilmSize;
};

// Reads argv[1..argc-1] into command. Returns a CommandLineResult.
int parse_command_line(int argc, const char* const argv[], CommandLine& command);

// For the window: leaves in argv the program's name and the toolkit's options with their values,
// in their order, dropping the program's own options (a parse that returned kCommandLineRun
// with mode kModeWindow has checked them). Returns the new count; argv[count] becomes nullptr.
int toolkit_arguments(int argc, char** argv);

// The exit status for a parse result when the program ends at once (help: 0, error: 2), after
// printing command.message (help to out, error to err as "armsim: <message>"); -1 for
// kCommandLineRun, where nothing is printed.
int finish_command_line(int result, const CommandLine& command, FILE* out = stdout,
                        FILE* err = stderr);

// Prints "armsim: <message>" as one line to err (line feeds in message become spaces) and
// returns 2, the exit status of bad input: for the caller's own refusals (goal out of reach,
// wall refused, output failed).
int command_line_error(const std::string& message, FILE* err = stderr);
