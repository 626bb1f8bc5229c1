#include "app/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "contact/placement.h"
#include "math/number_text.h"
#include "model/scene_defaults.h"
#include "planning/motion_plan.h"
#include "task/feasibility_map.h"
#include "task/workcell_notes.h"
#include "util/atomic_file.h"

namespace {

constexpr int kMaxThreads = 256;
constexpr long kMaxStepsLimit = 1000000000;

const char kDescription[] =
    "armsim: a simulator of four 7-joint robot arms placing a workpiece beside a thin wall.";
const char kFooter[] =
    "Modes (one at a time; they open no window and wait for no key):\n"
    "  armsim --solve    [--type T] [--goal X Y Z] [--wall Y] [--json]\n"
    "  armsim --method-b [--type T] [--goal X Y Z] [--wall Y] [--max-steps N] [--json]\n"
    "  armsim --map      [--type T|all] [--wall Y] [--step S] [--threads N] [--out FILE.png]\n"
    "                    [--csv FILE.csv]\n"
    "  armsim --plan     [--type T] [--goal X Y Z] [--wall Y] [--to best|method-b|K]\n"
    "                    [--planner NAME] [--time-limit S] [--seed N] [--json] [--csv FILE.csv]\n"
    "                    [--trajectory FILE.csv] [--rate HZ] [--max-velocity V]\n"
    "                    [--max-acceleration A] [--max-jerk J]\n"
    "  armsim --urdf     [--type T] [--scene [--wall Y]] [--out FILE]\n"
    "  armsim --animate FILE.gif|FILE.mp4|FILE.png [--type T] [--goal X Y Z] [--wall Y]\n"
    "                    [--to best|method-b|K] [--planner NAME] [--time-limit S] [--seed N]\n"
    "                    [--max-velocity V] [--max-acceleration A] [--max-jerk J] [--fps N]\n"
    "                    [--size WxH]\n"
    "  armsim            [--workcell FILE.json] [-display NAME] [-geometry WxH+X+Y] ...\n"
    "Without a mode the program prints its help at the console and opens its window; the\n"
    "toolkit's options (-display NAME, -geometry WxH+X+Y, ...) are passed on to it.\n"
    "Every mode and the window take --workcell FILE.json: a scene's type, goal, wall and boxes;\n"
    "--type, --goal and --wall given as well override the file's.\n"
    "Negative numbers are written plainly: --goal -0.6 2.2 0, --wall -1.\n"
    "Bad input gets one line on stderr and exit status 2.";

// The toolkit's own options (freeglut's glutInit) and whether each takes a value.
struct ToolkitOption {
  const char* name;
  bool takesValue;
};
const ToolkitOption kToolkitOptions[] = {
    {"-display", true},   {"-geometry", true}, {"-iconic", false}, {"-direct", false},
    {"-indirect", false}, {"-gldebug", false}, {"-sync", false},
};

const ToolkitOption* toolkit_option(const char* argument) {
  for (const ToolkitOption& option : kToolkitOptions)
    if (std::strcmp(argument, option.name) == 0) return &option;
  return nullptr;
}

// The modes as bits, for the modes an option belongs to; the window has none, for no option
// chooses it, and an option it takes has kWindow among its modes.
constexpr int mode_bit(CommandMode mode) {
  return mode == kModeWindow ? 0 : 1 << mode;
}
constexpr int kSolve = mode_bit(kModeSolve), kMethodB = mode_bit(kModeMethodB),
              kMap = mode_bit(kModeMap), kPlan = mode_bit(kModePlan), kUrdf = mode_bit(kModeUrdf),
              kAnimate = mode_bit(kModeAnimate);
constexpr int kWindow = 1 << kModeWindow;

std::string quoted(const std::string& text) {
  return "'" + text + "'";
}

// A default as the help shows it: up to 6 significant digits, shortest form.
std::string shown(double value) {
  std::string text;
  append_number(text, value, 6);
  return text;
}

// A finite number in the C locale, the whole text (a leading '+' allowed). Returns 1, or 0 with
// message set.
int read_number(const std::string& option, const std::string& text, double& value,
                std::string& message) {
  const char* begin = text.c_str();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+' && begin + 1 != end && begin[1] != '-') begin++;
  const std::from_chars_result result = std::from_chars(begin, end, value);
  if (result.ec == std::errc::result_out_of_range && result.ptr == end) {
    message = option + ": " + quoted(text) + " is out of range";
    return 0;
  }
  if (result.ec != std::errc() || result.ptr != end || begin == end) {
    message = option + ": " + quoted(text) + " is not a number";
    return 0;
  }
  if (!std::isfinite(value)) {
    message = option + ": " + quoted(text) + " is not a finite number";
    return 0;
  }
  return 1;
}

// A number > 0. Returns 1, or 0 with message set.
int read_positive(const std::string& option, const std::string& text, double& value,
                  std::string& message) {
  if (!read_number(option, text, value, message)) return 0;
  if (value > 0) return 1;
  message = option + ": " + quoted(text) + " is not greater than 0";
  return 0;
}

// A whole number within lo..hi. Returns 1, or 0 with message set.
int read_integer(const std::string& option, const std::string& text, long lo, long hi, long& value,
                 std::string& message) {
  const char* begin = text.c_str();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+' && begin + 1 != end && begin[1] != '-') begin++;
  const std::from_chars_result result = std::from_chars(begin, end, value);
  if (result.ec != std::errc() || result.ptr != end || begin == end) {
    double unused;
    std::string ignored;
    message = option + ": " + quoted(text) +
              (read_number(option, text, unused, ignored) ? " is not a whole number"
                                                          : " is not a number");
    if (result.ec == std::errc::result_out_of_range && result.ptr == end)
      message = option + ": " + quoted(text) + " is out of range";
    return 0;
  }
  if (value < lo || value > hi) {
    message = option + ": " + quoted(text) + " is outside " + std::to_string(lo) + ".." +
              std::to_string(hi);
    return 0;
  }
  return 1;
}

// The readers of the options' values: each reads the values CLI11 collected (as many as the
// option takes) into command, whose mode is set. Returns 1, or 0 with command.message set.
using ValueReader = int (*)(const std::string values[], CommandLine& command);

int read_type(const std::string values[], CommandLine& command) {
  command.typeGiven = true;
  if (values[0] == "all") {
    if (command.mode != kModeMap) {
      command.message = "--type all is for --map only; give a type 1..4";
      return 0;
    }
    command.allTypes = true;
    return 1;
  }
  long type;
  if (!read_integer("--type", values[0], 1, 4, type, command.message)) {
    if (command.mode == kModeMap) command.message += " (or 'all')";
    return 0;
  }
  command.type = static_cast<int>(type);
  return 1;
}

int read_goal(const std::string values[], CommandLine& command) {
  double goal[3];
  for (int k = 0; k < 3; k++)
    if (!read_number("--goal", values[k], goal[k], command.message)) return 0;
  for (int k = 0; k < 3; k++) command.goal[k] = goal[k];
  command.goalGiven = true;
  return 1;
}

int read_wall(const std::string values[], CommandLine& command) {
  if (!read_number("--wall", values[0], command.wallY, command.message)) return 0;
  command.wallGiven = true;
  return 1;
}

int read_max_steps(const std::string values[], CommandLine& command) {
  long steps;
  if (!read_integer("--max-steps", values[0], 1, kMaxStepsLimit, steps, command.message)) return 0;
  command.maxSteps = static_cast<int>(steps);
  return 1;
}

int read_step(const std::string values[], CommandLine& command) {
  return read_positive("--step", values[0], command.step, command.message);
}

int read_threads(const std::string values[], CommandLine& command) {
  long threads;
  if (!read_integer("--threads", values[0], 1, kMaxThreads, threads, command.message)) return 0;
  command.threads = static_cast<int>(threads);
  return 1;
}

int read_to(const std::string values[], CommandLine& command) {
  if (values[0] == "best") return 1;
  if (values[0] == "method-b") {
    command.planToMethodB = true;
    return 1;
  }
  long index;
  if (!read_integer("--to", values[0], 1, kMaxPlacements, index, command.message)) {
    command.message += " (or best, method-b)";
    return 0;
  }
  command.planIndex = static_cast<int>(index);
  return 1;
}

bool same_letters(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); k++)
    if (std::tolower(static_cast<unsigned char>(a[k])) !=
        std::tolower(static_cast<unsigned char>(b[k])))
      return false;
  return true;
}

// The planner named, matched without regard to case and stored as the planners spell it.
int read_planner(const std::string values[], CommandLine& command) {
  const std::string names = planner_names() + ", ";
  for (size_t start = 0, end; (end = names.find(", ", start)) != std::string::npos;
       start = end + 2) {
    const std::string name = names.substr(start, end - start);
    if (!same_letters(name, values[0]) || !planner_known(name)) continue;
    command.planner = name;
    return 1;
  }
  command.message =
      "--planner: " + quoted(values[0]) + " is not a planner; one of " + planner_names();
  return 0;
}

int read_time_limit(const std::string values[], CommandLine& command) {
  if (!read_positive("--time-limit", values[0], command.timeLimit, command.message)) return 0;
  if (command.timeLimit <= kMaxTimeLimit) return 1;
  command.message = "--time-limit: " + quoted(values[0]) + " is above " + shown(kMaxTimeLimit) +
                    " seconds (a day)";
  return 0;
}

int read_seed(const std::string values[], CommandLine& command) {
  long seed;
  if (!read_integer("--seed", values[0], 0, 4294967295L, seed, command.message)) return 0;
  command.seed = static_cast<unsigned>(seed);
  return 1;
}

// Reads the file after every other value, so that the command line's type, goal and wall,
// known by then, override the file's.
int read_workcell(const std::string values[], CommandLine& command) {
  if (values[0].empty()) {
    command.message = "--workcell: the file name is empty";
    return 0;
  }
  WorkcellFile& file = command.workcell;
  if (!read_workcell_file(values[0], file, command.message)) return 0;
  if (file.typeGiven && !command.typeGiven) {
    command.type = file.type;
    command.typeGiven = true;
  }
  if (command.goalGiven) file.goalGiven = false;
  if (command.wallGiven) file.wallGiven = false;
  return 1;
}

int read_rate(const std::string values[], CommandLine& command) {
  if (!read_positive("--rate", values[0], command.rate, command.message)) return 0;
  if (command.rate <= kMaxTrajectoryRate) return 1;
  command.message = "--rate: " + quoted(values[0]) + " is above " + shown(kMaxTrajectoryRate);
  return 0;
}

// One limit > 0 for every joint, or seven separated by commas, into limit[1..7].
int read_joint_limits(const std::string& option, const std::string& text, double limit[],
                      std::string& message) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == ',')
      parts.emplace_back();
    else
      parts.back() += c;
  }
  if (parts.size() != 1 && parts.size() != static_cast<size_t>(kMaxJoints)) {
    message = option + ": " + quoted(text) + " has " + std::to_string(parts.size()) +
              " values; give one for every joint or " + std::to_string(kMaxJoints) +
              " separated by commas";
    return 0;
  }
  double values[kMaxJoints];
  for (size_t k = 0; k < parts.size(); k++)
    if (!read_positive(option, parts[k], values[k], message)) return 0;
  for (int i = 1; i <= kMaxJoints; i++) limit[i] = values[parts.size() == 1 ? 0 : i - 1];
  return 1;
}

int read_max_velocity(const std::string values[], CommandLine& command) {
  return read_joint_limits("--max-velocity", values[0], command.limits.velocity, command.message);
}

int read_max_acceleration(const std::string values[], CommandLine& command) {
  return read_joint_limits("--max-acceleration", values[0], command.limits.acceleration,
                           command.message);
}

int read_max_jerk(const std::string values[], CommandLine& command) {
  return read_joint_limits("--max-jerk", values[0], command.limits.jerk, command.message);
}

int read_fps(const std::string values[], CommandLine& command) {
  long fps;
  if (!read_integer("--fps", values[0], kMinFilmFps, kMaxFilmFps, fps, command.message)) return 0;
  command.fps = static_cast<int>(fps);
  return 1;
}

// WIDTHxHEIGHT, each a whole number of pixels within kMinFilmSize..kMaxFilmSize.
int read_size(const std::string values[], CommandLine& command) {
  const std::string& text = values[0];
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) {
    command.message = "--size: " + quoted(text) + " is not WIDTHxHEIGHT (e.g. 600x600)";
    return 0;
  }
  long width, height;
  if (!read_integer("--size", text.substr(0, x), kMinFilmSize, kMaxFilmSize, width,
                    command.message) ||
      !read_integer("--size", text.substr(x + 1), kMinFilmSize, kMaxFilmSize, height,
                    command.message)) {
    command.message += " (in --size " + quoted(text) + ")";
    return 0;
  }
  command.filmWidth = static_cast<int>(width);
  command.filmHeight = static_cast<int>(height);
  return 1;
}

// A default limit of each joint as the help shows it: "1,1,1.2,...".
std::string shown_limits(const double limit[]) {
  std::string text;
  for (int i = 1; i <= kMaxJoints; i++) text += (i > 1 ? "," : "") + shown(limit[i]);
  return text;
}

// The planners that one seed does not make repeatable: "PRM, PRMstar and RRTstar".
std::string unrepeatable_planners() {
  std::string text;
  const int n = sizeof kUnrepeatablePlanners / sizeof kUnrepeatablePlanners[0];
  for (int k = 0; k < n; k++)
    text += (k == 0 ? "" : k + 1 == n ? " and " : ", ") + std::string(kUnrepeatablePlanners[k]);
  return text;
}

// Every option, in the order of the help. The mode options choose a mode; each other option
// belongs to some modes, and takes `count` values (0 for a flag) read by `read`, the readers
// running in `readOrder` after CLI11 has collected the text. Output files are checked last,
// with their mode (check_outputs).
struct OptionRow {
  const char* name;
  CommandMode mode;      // the mode a mode option chooses; kModeWindow for the others
  int modes;             // the modes the option belongs to (mode_bit); 0 for a mode option
  int count;             // values it takes; 0 for a flag
  const char* typeName;  // its values in the help
  const char* needs;     // its values in the messages
  std::string help;
  ValueReader read;  // nullptr: the text is taken as it is (flags, file names)
  int readOrder;     // the readers' order (the first bad value is the one reported)
};

std::vector<OptionRow> option_rows() {
  const CommandLine defaults;
  const int all = kSolve | kMethodB | kMap | kPlan | kUrdf | kAnimate;
  // The --plan options that choose the motion, which --animate films.
  const int motion = kPlan | kAnimate;
  return {
      {"--solve", kModeSolve, 0, 0, "", "",
       "Every goal pose of the scene (complete solver); exit 0 with one or more, 1 with none",
       nullptr, 0},
      {"--method-b", kModeMethodB, 0, 0, "", "",
       "Method B from the initial pose with its trace; exit 0 at a final pose, 1 without", nullptr,
       0},
      {"--map", kModeMap, 0, 0, "", "", "The feasibility map of the type and wall as a picture",
       nullptr, 0},
      {"--plan", kModePlan, 0, 0, "", "",
       "A collision-free motion from the initial pose to a goal pose; exit 0 with one, 1 without",
       nullptr, 0},
      {"--urdf", kModeUrdf, 0, 0, "", "",
       "The robot of the type as URDF (joints joint1..joint7), to stdout or --out", nullptr, 0},
      {"--animate", kModeAnimate, 0, 1, "FILE", "a file name",
       "The timed motion of --plan as a film: .gif (looping), .mp4 (H.264) or .png (the goal "
       "pose); exit 0 with one, 1 without a motion",
       nullptr, 0},
      {"--type", kModeWindow, all, 1, "T", "a robot type 1..4 (or 'all' with --map)",
       "Robot type 1..4 (default " + std::to_string(defaults.type) + "); with --map also 'all'",
       read_type, 1},
      {"--goal", kModeWindow, kSolve | kMethodB | motion, 3, "X Y Z",
       "three numbers: x, y and the height of the workpiece's underside",
       "Goal: x, y and the height of the workpiece's underside (default " + shown(kDefaultGoalX) +
           " " + shown(kDefaultGoalY) + " " + shown(kDefaultGoalUnderside) + ")",
       read_goal, 2},
      {"--wall", kModeWindow, all, 1, "Y", "a number, the y of the wall's edge",
       "The y of the wall's vertical edge (default " + shown(kDefaultWallY) + ")", read_wall, 3},
      {"--json", kModeWindow, kSolve | kMethodB | kPlan, 0, "", "",
       "Print the result as JSON (--solve, --method-b, --plan)", nullptr, 0},
      {"--max-steps", kModeWindow, kMethodB, 1, "N", "a whole number of steps",
       "Most 'a' and 'b' steps, >= 1 (default " + std::to_string(defaults.maxSteps) +
           "; --method-b)",
       read_max_steps, 4},
      {"--step", kModeWindow, kMap, 1, "S", "a number, the cell size",
       "Cell size, > 0 (default " + shown(defaults.step) + "; at most " +
           std::to_string(kMapMaxCells) + " cells a map; --map)",
       read_step, 6},
      {"--threads", kModeWindow, kMap, 1, "N", "a whole number of threads",
       "Threads, >= 1 (default: every core; --map)", read_threads, 5},
      {"--out", kModeWindow, kMap | kUrdf, 1, "FILE", "a file name",
       "The picture, PNG (default " + defaults.out +
           "; --map), or the URDF (default stdout; --urdf)",
       nullptr, 0},
      {"--csv", kModeWindow, kMap | kPlan, 1, "FILE.csv", "a file name",
       "Also the table: one line per cell (--map), or the motion in " +
           std::to_string(kMotionSteps) + " steps of equal joint-space length (--plan)",
       nullptr, 0},
      {"--to", kModeWindow, motion, 1, "best|method-b|K", "best, method-b or a pose number K >= 1",
       "Goal pose: best (the complete solver's first with a motion; default), method-b (Method "
       "B's final pose) or K (the K-th listed pose; --plan, --animate)",
       read_to, 7},
      {"--planner", kModeWindow, motion, 1, "NAME", "a planner's name",
       "OMPL planner (default " + defaults.planner + "; --plan, --animate): " + planner_names(),
       read_planner, 8},
      {"--time-limit", kModeWindow, motion, 1, "S", "a number of seconds",
       "Planning time per goal pose in seconds, > 0, at most " + shown(kMaxTimeLimit) +
           " (default " + shown(defaults.timeLimit) + "; --plan, --animate)",
       read_time_limit, 9},
      {"--seed", kModeWindow, motion, 1, "N", "a whole number",
       "Seed of the planner's random numbers (default " + std::to_string(defaults.seed) +
           "; --plan, --animate): one seed, one path, except with " + unrepeatable_planners() +
           " (" + kUnrepeatableWhy + ")",
       read_seed, 10},
      {"--scene", kModeWindow, kUrdf, 0, "", "",
       "With the wall and the floor, as fixed links (--urdf)", nullptr, 0},
      {"--trajectory", kModeWindow, kPlan, 1, "FILE.csv", "a file name",
       "Also the timed motion: time, then each joint's value, speed and acceleration, a row "
       "every 1/rate s from 0 and one at the goal (--plan)",
       nullptr, 0},
      {"--rate", kModeWindow, kPlan, 1, "HZ", "a number of rows a second",
       "Rows a second of --trajectory, > 0, at most " + shown(kMaxTrajectoryRate) + " (default " +
           shown(kDefaultTrajectoryRate) + "; --plan)",
       read_rate, 11},
      {"--max-velocity", kModeWindow, motion, 1, "V|V1,...,V7",
       "one number or seven separated by commas",
       "Joint speed limit, rad/s, > 0: one for every joint or seven (default " +
           shown_limits(kDefaultMaxVelocity) + "; --plan, --animate)",
       read_max_velocity, 12},
      {"--max-acceleration", kModeWindow, motion, 1, "A|A1,...,A7",
       "one number or seven separated by commas",
       "Joint acceleration limit, rad/s^2, > 0: one for every joint or seven (default " +
           shown_limits(kDefaultMaxAcceleration) + "; --plan, --animate)",
       read_max_acceleration, 13},
      {"--max-jerk", kModeWindow, motion, 1, "J|J1,...,J7",
       "one number or seven separated by commas",
       "Joint jerk limit, rad/s^3, > 0: one for every joint or seven (default " +
           shown_limits(kDefaultMaxJerk) + "; --plan, --animate)",
       read_max_jerk, 14},
      {"--fps", kModeWindow, kAnimate, 1, "N", "a whole number of frames a second",
       "Frames a second of motion time, " + std::to_string(kMinFilmFps) + ".." +
           std::to_string(kMaxFilmFps) + " (default " + std::to_string(kDefaultFilmFps) +
           "; --animate)",
       read_fps, 15},
      {"--size", kModeWindow, kAnimate, 1, "WxH", "a size WIDTHxHEIGHT in pixels",
       "The film's width and height in pixels, each " + std::to_string(kMinFilmSize) + ".." +
           std::to_string(kMaxFilmSize) + " (default " + std::to_string(kDefaultFilmSize) + "x" +
           std::to_string(kDefaultFilmSize) + "; --animate)",
       read_size, 16},
      {"--workcell", kModeWindow, all | kWindow, 1, "FILE.json", "a file name",
       "A workcell file: type, goal, wall and up to " + std::to_string(kMaxObstacles) +
           " boxes (JSON; every mode and the window); --type, --goal, --wall override it",
       read_workcell, 17},
  };
}

// The modes of a bit set as the messages name them: "--map", "--map or --plan", "--solve,
// --method-b or --plan".
std::string mode_names(const std::vector<OptionRow>& rows, int modes) {
  std::vector<const char*> names;
  for (const OptionRow& row : rows)
    if ((modes & mode_bit(row.mode)) != 0) names.push_back(row.name);
  std::string text;
  for (size_t k = 0; k < names.size(); k++)
    text += (k == 0 ? "" : k + 1 == names.size() ? " or " : ", ") + std::string(names[k]);
  return text;
}

// The row of an option; rows.size() when there is none.
size_t find_row(const std::vector<OptionRow>& rows, const std::string& name) {
  size_t k = 0;
  while (k < rows.size() && rows[k].name != name) k++;
  return k;
}

// The option that chooses a mode.
const char* mode_name(const std::vector<OptionRow>& rows, CommandMode mode) {
  for (const OptionRow& row : rows)
    if (row.mode == mode) return row.name;
  return "";
}

// An argument that names an option rather than being a value: "--" and a letter, or "-h".
bool names_option(const std::string& argument) {
  return (argument.size() > 2 && argument[0] == '-' && argument[1] == '-' &&
          std::isalpha(static_cast<unsigned char>(argument[2]))) ||
         argument == "-h";
}

// The option name of an argument "--name" or "--name=value".
std::string option_name(const std::string& argument) {
  return argument.substr(0, argument.find('='));
}

// Checks ahead of the parser what it takes otherwise: CLI11 takes the next arguments as an
// option's values whatever they are, and reports an option given twice only after it has read
// the values. Here, in the order given: an option given twice, an option followed by too few
// values (another option where a value should be), and --goal followed by a fourth value.
// Values are taken as they come, so "-.5" and "-inf" are values. Returns 1, or 0 with message set.
int check_values(const std::vector<OptionRow>& rows, const std::vector<std::string>& arguments,
                 std::string& message) {
  std::vector<std::string> seen;
  for (size_t k = 0; k < arguments.size(); k++) {
    const std::string& argument = arguments[k];
    if (!names_option(argument)) continue;
    const std::string name = option_name(argument);
    for (const std::string& earlier : seen)
      if (earlier == name) {
        message = name + " is given more than once";
        return 0;
      }
    seen.push_back(name);
    const size_t index = find_row(rows, name);
    if (index == rows.size()) continue;
    const OptionRow* row = &rows[index];
    const bool inlineValue = argument.find('=') != std::string::npos;
    for (int count = row->count - (inlineValue ? 1 : 0); count > 0; count--) {
      if (k + 1 >= arguments.size() || names_option(arguments[k + 1])) {
        message = name + " needs " + row->needs;
        return 0;
      }
      k++;
    }
    if (row->count > 1 && k + 1 < arguments.size() && !names_option(arguments[k + 1])) {
      message =
          name + " takes " + row->needs + "; " + quoted(arguments[k + 1]) + " is one too many";
      return 0;
    }
  }
  return 1;
}

std::string one_line(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// The edit distance of a and b: the fewest letters inserted, removed or changed.
size_t edit_distance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); j++) row[j] = j;
  for (size_t i = 1; i <= a.size(); i++) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); j++) {
      const size_t above = row[j];
      row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The message for an argument that names no option: the nearest option when a few letters
// would make it one, and where to find them all.
std::string unknown_option_message(const std::vector<OptionRow>& rows, const std::string& name) {
  const char* nearest = nullptr;
  size_t best = 3;  // more letters wrong than this suggest nothing
  for (const OptionRow& row : rows) {
    const size_t d = edit_distance(name, row.name);
    if (d < best) {
      best = d;
      nearest = row.name;
    }
  }
  for (const char* name2 : {"--help", "--version"})
    if (edit_distance(name, name2) < best) {
      best = edit_distance(name, name2);
      nearest = name2;
    }
  std::string message = name + " is not an option";
  if (nearest != nullptr) message += "; did you mean " + std::string(nearest) + "?";
  return message + " (armsim --help lists every option)";
}

// The first argument that names no option ("--solv"); empty when there is none.
std::string first_unknown_option(const std::vector<OptionRow>& rows,
                                 const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (!names_option(argument)) continue;
    const std::string name = option_name(argument);
    if (find_row(rows, name) == rows.size() && name != "--help" && name != "-h" &&
        name != "--version")
      return name;
  }
  return "";
}

// What CLI11 collected for one option: a flag's value, or its values as text.
struct Collected {
  bool flag = false;
  std::string value;
  std::vector<std::string> values;
};

// Declares every row to CLI11, bound to collected (one entry a row).
void declare_options(const std::vector<OptionRow>& rows, CLI::App& app,
                     std::vector<Collected>& collected) {
  app.name("armsim");
  app.description(kDescription);
  app.footer(kFooter);
  app.get_formatter()->column_width(22);
  app.set_version_flag("--version", std::string("armsim ") + kProgramVersion,
                       "Print the program's name and version and exit");
  for (size_t k = 0; k < rows.size(); k++) {
    const OptionRow& row = rows[k];
    if (row.count == 0)
      app.add_flag(row.name, collected[k].flag, row.help);
    else if (row.count == 1)
      app.add_option(row.name, collected[k].value, row.help)->type_name(row.typeName);
    else
      app.add_option(row.name, collected[k].values, row.help)
          ->type_name(row.typeName)
          ->type_size(row.count)
          ->expected(1);
  }
}

// The mode options given; two or more is an error. Returns 1, or 0 with the message set.
int read_mode(const std::vector<OptionRow>& rows, const CLI::App& app, CommandLine& command) {
  const char* first = nullptr;
  for (size_t k = 0; k < rows.size(); k++) {
    if (rows[k].mode == kModeWindow || app.count(rows[k].name) == 0) continue;
    if (first != nullptr) {
      command.message = std::string(first) + " and " + rows[k].name + " cannot be used together";
      return 0;
    }
    first = rows[k].name;
    command.mode = rows[k].mode;
  }
  return 1;
}

// Every option given belongs to the mode. Returns 1, or 0 with the message set.
int check_option_modes(const std::vector<OptionRow>& rows, const CLI::App& app,
                       CommandLine& command) {
  const int bit = command.mode == kModeWindow ? kWindow : mode_bit(command.mode);
  for (const OptionRow& row : rows) {
    if (row.mode != kModeWindow || app.count(row.name) == 0 || (row.modes & bit) != 0) continue;
    if (command.mode == kModeWindow)
      command.message = std::string(row.name) + " needs one of " + mode_names(rows, row.modes);
    else
      command.message = std::string(row.name) + " cannot be used with " +
                        mode_name(rows, command.mode) + " (it belongs to " +
                        mode_names(rows, row.modes) + ")";
    return 0;
  }
  return 1;
}

// Runs the readers of the options given, in their readOrder. Returns 1, or 0 with the message.
int read_values(const std::vector<OptionRow>& rows, const CLI::App& app,
                const std::vector<Collected>& collected, CommandLine& command) {
  for (int order = 1;; order++) {
    bool found = false;
    for (size_t k = 0; k < rows.size(); k++) {
      if (rows[k].read == nullptr || rows[k].readOrder != order) continue;
      found = true;
      if (app.count(rows[k].name) == 0) continue;
      if (rows[k].count > 1 && collected[k].values.size() != static_cast<size_t>(rows[k].count)) {
        command.message = std::string(rows[k].name) + " needs " + rows[k].needs;
        return 0;
      }
      const std::string* values =
          rows[k].count == 1 ? &collected[k].value : collected[k].values.data();
      if (!rows[k].read(values, command)) return 0;
    }
    if (!found) return 1;
  }
}

// Whether a file name ends in .png (any case) or has no extension at all.
bool png_or_plain_name(const std::string& file) {
  const size_t slash = file.rfind('/');
  const std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
  const size_t dot = base.rfind('.');
  return dot == std::string::npos || dot == 0 || same_letters(base.substr(dot), ".png");
}

// The checks that need several options and the mode: the map's cell limit for each type drawn,
// the output files, and --wall with --urdf. Returns 1, or 0 with the message set.
int check_outputs(const CLI::App& app, const std::string& step, CommandLine& command) {
  std::string& message = command.message;
  std::string why;
  if (command.mode == kModePlan && app.count("--csv") > 0 &&
      !output_path_writable(command.csv.c_str(), why)) {
    message = "--csv: " + why;
    return 0;
  }
  if (command.mode == kModePlan && app.count("--trajectory") > 0) {
    if (!output_path_writable(command.trajectory.c_str(), why)) {
      message = "--trajectory: " + why;
      return 0;
    }
    if (command.trajectory == command.csv) {
      message = "--csv and --trajectory name the same file " + command.csv;
      return 0;
    }
  }
  if (command.mode == kModeAnimate) {
    command.filmFormat = film_format(command.film);
    if (command.filmFormat == kFilmUnknown) {
      const std::string& film = command.film;
      message = "--animate: " + quoted(film) + " names no film format; give .gif, .mp4 or .png";
      return 0;
    }
    if (!output_path_writable(command.film.c_str(), why)) {
      message = "--animate: " + why;
      return 0;
    }
    if (command.filmFormat == kFilmMp4 &&
        (command.filmWidth % 2 != 0 || command.filmHeight % 2 != 0)) {
      message = "--size: an MP4 (yuv420p) needs an even width and height, not " +
                std::to_string(command.filmWidth) + "x" + std::to_string(command.filmHeight);
      return 0;
    }
  }
  if (command.mode == kModeMap) {
    for (int type = 1; type <= 4; type++) {
      if (!command.allTypes && type != command.type) continue;
      int nx, ny;
      if (!map_grid_size(type, command.step, nx, ny)) {
        message = "--step: " + (step.empty() ? shown(kMapDefaultStep) : step) +
                  " is so small that the map of type " + std::to_string(type) +
                  " would have more than " + std::to_string(kMapMaxCells) + " cells";
        return 0;
      }
    }
    if (!png_or_plain_name(command.out)) {
      message = "--out: " + ::quoted(command.out) + " is not a .png file; --map writes PNG only";
      return 0;
    }
    if (!output_path_writable(command.out.c_str(), why)) {
      message = "--out: " + why;
      return 0;
    }
    if (app.count("--csv") > 0) {
      if (!output_path_writable(command.csv.c_str(), why)) {
        message = "--csv: " + why;
        return 0;
      }
      if (command.csv == command.out) {
        message = "--out and --csv name the same file " + command.out;
        return 0;
      }
    }
  }
  if (command.mode == kModeUrdf) {
    if (command.wallGiven && !command.scene) {
      message = "--wall with --urdf needs --scene: only the scene has a wall";
      return 0;
    }
    if (app.count("--out") > 0 && !output_path_writable(command.out.c_str(), why)) {
      message = "--out: " + why;
      return 0;
    }
  }
  return 1;
}

}  // namespace

int parse_command_line(int argc, const char* const argv[], CommandLine& command) {
  command = CommandLine{};
  // The toolkit's options are set aside; anything else goes to the parser.
  std::vector<std::string> rest;
  const char* toolkitOption = nullptr;
  for (int k = 1; k < argc; k++) {
    const ToolkitOption* option = toolkit_option(argv[k]);
    if (option != nullptr) {
      if (toolkitOption == nullptr) toolkitOption = option->name;
      if (option->takesValue) k++;
      continue;
    }
    rest.push_back(argv[k]);
  }
  if (rest.empty()) return kCommandLineRun;  // the window, argv untouched

  const std::vector<OptionRow> rows = option_rows();
  if (!check_values(rows, rest, command.message)) return kCommandLineError;
  CLI::App app;
  std::vector<Collected> collected(rows.size());
  try {
    declare_options(rows, app, collected);
    // CLI11 wants the arguments in reverse order, without the program's name.
    std::vector<std::string> reversed(rest.rbegin(), rest.rend());
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    command.message = app.help();
    return kCommandLineHelp;
  } catch (const CLI::CallForVersion&) {
    command.message = std::string("armsim ") + kProgramVersion;
    return kCommandLineHelp;
  } catch (const CLI::ExtrasError& error) {
    const std::string unknown = first_unknown_option(rows, rest);
    command.message =
        unknown.empty() ? one_line(error.what()) : unknown_option_message(rows, unknown);
    return kCommandLineError;
  } catch (const CLI::ParseError& error) {
    command.message = one_line(error.what());
    if (command.message.empty()) command.message = "bad command line";
    return kCommandLineError;
  } catch (const std::exception& error) {
    command.message = one_line(std::string("bad command line: ") + error.what());
    return kCommandLineError;
  }
  if (!read_mode(rows, app, command) || !check_option_modes(rows, app, command))
    return kCommandLineError;
  if (command.mode != kModeWindow && toolkitOption != nullptr) {
    command.message = std::string(toolkitOption) + " is an option of the window, which " +
                      mode_name(rows, command.mode) + " does not open";
    return kCommandLineError;
  }
  if (!read_values(rows, app, collected, command)) return kCommandLineError;
  // The flags and the file names are taken as they are.
  auto given = [&](const char* name) -> const Collected& {
    return collected[find_row(rows, name)];
  };
  command.json = given("--json").flag;
  command.scene = given("--scene").flag;
  if (command.mode == kModeUrdf) command.out.clear();
  if (app.count("--out") > 0) command.out = given("--out").value;
  if (app.count("--csv") > 0) command.csv = given("--csv").value;
  if (app.count("--trajectory") > 0) command.trajectory = given("--trajectory").value;
  if (app.count("--animate") > 0) command.film = given("--animate").value;
  for (const char* name :
       {"--trajectory", "--rate", "--max-velocity", "--max-acceleration", "--max-jerk"})
    if (app.count(name) > 0) command.timingGiven = true;
  if (!check_outputs(app, given("--step").value, command)) return kCommandLineError;
  return kCommandLineRun;
}

int toolkit_arguments(int argc, char** argv) {
  if (argc < 1) return argc;
  int kept = 1;
  for (int k = 1; k < argc; k++) {
    const ToolkitOption* option = toolkit_option(argv[k]);
    if (option == nullptr) continue;
    argv[kept++] = argv[k];
    if (option->takesValue && k + 1 < argc) argv[kept++] = argv[++k];
  }
  argv[kept] = nullptr;
  return kept;
}

int finish_command_line(int result, const CommandLine& command, FILE* out, FILE* err) {
  if (result == kCommandLineHelp) {
    fputs(command.message.c_str(), out);
    if (command.message.empty() || command.message.back() != '\n') fputc('\n', out);
    fflush(out);
    return 0;
  }
  if (result == kCommandLineError) return command_line_error(command.message, err);
  return -1;
}

int command_line_error(const std::string& message, FILE* err) {
  fprintf(err, "armsim: %s\n", one_line(message).c_str());
  fflush(err);
  return 2;
}
