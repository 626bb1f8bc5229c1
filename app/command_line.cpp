#include "app/command_line.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "contact/placement.h"
#include "model/atomic_file.h"
#include "planning/motion_plan.h"
#include "task/feasibility_map.h"

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
    "  armsim --urdf     [--type T] [--scene [--wall Y]] [--out FILE]\n"
    "Without a mode the program prints its help at the console and opens its window; the\n"
    "toolkit's options (-display NAME, -geometry WxH+X+Y, ...) are passed on to it.\n"
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

// Which modes take an option: bits 1 --solve, 2 --method-b, 4 --map, 8 --plan, 16 --urdf.
constexpr int kSolveBit = 1, kMethodBBit = 2, kMapBit = 4, kPlanBit = 8, kUrdfBit = 16;

// Every option but the modes: how many values it takes and what they are (for the messages),
// and the modes it belongs to.
struct OptionRule {
  const char* name;
  int count;          // values; 0 for a flag
  const char* needs;  // what the values are
  int modes;
  const char* modeText;  // the modes it belongs to, for the message
};
const OptionRule kOptionRules[] = {
    {"--type", 1, "a robot type 1..4 (or 'all' with --map)",
     kSolveBit | kMethodBBit | kMapBit | kPlanBit | kUrdfBit,
     "--solve, --method-b, --map, --plan or --urdf"},
    {"--goal", 3, "three numbers: x, y and the height of the workpiece's underside",
     kSolveBit | kMethodBBit | kPlanBit, "--solve, --method-b or --plan"},
    {"--wall", 1, "a number, the y of the wall's edge",
     kSolveBit | kMethodBBit | kMapBit | kPlanBit | kUrdfBit,
     "--solve, --method-b, --map, --plan or --urdf"},
    {"--json", 0, "", kSolveBit | kMethodBBit | kPlanBit, "--solve, --method-b or --plan"},
    {"--max-steps", 1, "a whole number of steps", kMethodBBit, "--method-b"},
    {"--step", 1, "a number, the cell size", kMapBit, "--map"},
    {"--threads", 1, "a whole number of threads", kMapBit, "--map"},
    {"--out", 1, "a file name", kMapBit | kUrdfBit, "--map or --urdf"},
    {"--csv", 1, "a file name", kMapBit | kPlanBit, "--map or --plan"},
    {"--to", 1, "best, method-b or a pose number K >= 1", kPlanBit, "--plan"},
    {"--planner", 1, "a planner's name", kPlanBit, "--plan"},
    {"--time-limit", 1, "a number of seconds", kPlanBit, "--plan"},
    {"--seed", 1, "a whole number", kPlanBit, "--plan"},
    {"--scene", 0, "", kUrdfBit, "--urdf"},
};

// The option that chose a mode other than the window.
const char* mode_option(CommandMode mode) {
  return mode == kModeSolve     ? "--solve"
         : mode == kModeMethodB ? "--method-b"
         : mode == kModeMap     ? "--map"
         : mode == kModePlan    ? "--plan"
                                : "--urdf";
}

std::string quoted(const std::string& text) {
  return "'" + text + "'";
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

// Checks ahead of the parser what it would report less clearly: an option given twice, an
// option followed by too few values (another option where a value should be), and --goal
// followed by a fourth value. Values are taken as they come, so "-.5" and "-inf" are values.
// Returns 1, or 0 with message set.
int check_values(const std::vector<std::string>& arguments, std::string& message) {
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
    const bool inlineValue = argument.find('=') != std::string::npos;
    for (const OptionRule& option : kOptionRules) {
      if (name != option.name) continue;
      int count = option.count - (inlineValue ? 1 : 0);
      for (; count > 0; count--) {
        if (k + 1 >= arguments.size() || names_option(arguments[k + 1])) {
          message = name + " needs " + option.needs;
          return 0;
        }
        k++;
      }
      if (option.count > 1 && k + 1 < arguments.size() && !names_option(arguments[k + 1])) {
        message =
            name + " takes " + option.needs + "; " + quoted(arguments[k + 1]) + " is one too many";
        return 0;
      }
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

// The values CLI11 collected, as text; numbers are read here so that every bad value gets the
// same kind of message.
struct RawOptions {
  bool solve = false, methodB = false, map = false, plan = false, urdf = false, json = false,
       scene = false;
  std::string type, wall, maxSteps, step, threads, out, csv, to, planner, timeLimit, seed;
  std::vector<std::string> goal;
};

void declare_options(CLI::App& app, RawOptions& raw) {
  app.name("armsim");
  app.description(kDescription);
  app.footer(kFooter);
  app.get_formatter()->column_width(22);
  app.add_flag("--solve", raw.solve,
               "Every goal pose of the scene (complete solver); exit 0 with one or more, 1 "
               "with none");
  app.add_flag("--method-b", raw.methodB,
               "Method B from the initial pose with its trace; exit 0 at a final pose, 1 "
               "without");
  app.add_flag("--map", raw.map, "The feasibility map of the type and wall as a picture");
  app.add_flag("--plan", raw.plan,
               "A collision-free motion from the initial pose to a goal pose; exit 0 with one, "
               "1 without");
  app.add_flag("--urdf", raw.urdf,
               "The robot of the type as URDF (joints joint1..joint7), to stdout or --out");
  app.add_option("--type", raw.type, "Robot type 1..4 (default 1); with --map also 'all'")
      ->type_name("T");
  app.add_option("--goal", raw.goal,
                 "Goal: x, y and the height of the workpiece's underside (default -0.6 2.2 0)")
      ->type_name("X Y Z")
      ->type_size(3)
      ->expected(1);
  app.add_option("--wall", raw.wall, "The y of the wall's vertical edge (default 1.3)")
      ->type_name("Y");
  app.add_flag("--json", raw.json, "Print the result as JSON (--solve, --method-b, --plan)");
  app.add_option("--max-steps", raw.maxSteps,
                 "Most 'a' and 'b' steps, >= 1 (default 1000; --method-b)")
      ->type_name("N");
  app.add_option("--step", raw.step,
                 "Cell size, > 0 (default 0.1; at most 1000000 cells a map; --map)")
      ->type_name("S");
  app.add_option("--threads", raw.threads, "Threads, >= 1 (default: every core; --map)")
      ->type_name("N");
  app.add_option("--out", raw.out,
                 std::string("The picture, PNG (default ") + kDefaultMapPicture +
                     "; --map), or the URDF (default stdout; --urdf)")
      ->type_name("FILE");
  app.add_option("--csv", raw.csv,
                 "Also the table: one line per cell (--map), or the motion in 100 steps of "
                 "equal joint-space length (--plan)")
      ->type_name("FILE.csv");
  app.add_option("--to", raw.to,
                 "Goal pose: best (the complete solver's first with a motion; default), "
                 "method-b (Method B's final pose) or K (the K-th listed pose; --plan)")
      ->type_name("best|method-b|K");
  app.add_option("--planner", raw.planner,
                 std::string("OMPL planner (default RRTConnect; --plan): ") + planner_names())
      ->type_name("NAME");
  app.add_option("--time-limit", raw.timeLimit,
                 "Planning time per goal pose in seconds, > 0 (default 1; --plan)")
      ->type_name("S");
  app.add_option("--seed", raw.seed, "Seed of the planner's random numbers (default 1; --plan)")
      ->type_name("N");
  app.add_flag("--scene", raw.scene, "With the wall and the floor, as fixed links (--urdf)");
}

// The mode options given; two or more is an error.
int read_mode(const RawOptions& raw, CommandLine& command) {
  const char* given[5];
  int count = 0;
  if (raw.solve) given[count++] = "--solve";
  if (raw.methodB) given[count++] = "--method-b";
  if (raw.map) given[count++] = "--map";
  if (raw.plan) given[count++] = "--plan";
  if (raw.urdf) given[count++] = "--urdf";
  if (count > 1) {
    command.message = std::string(given[0]) + " and " + given[1] + " cannot be used together";
    return 0;
  }
  command.mode = raw.solve     ? kModeSolve
                 : raw.methodB ? kModeMethodB
                 : raw.map     ? kModeMap
                 : raw.plan    ? kModePlan
                 : raw.urdf    ? kModeUrdf
                               : kModeWindow;
  return 1;
}

// Every option given belongs to the mode. Returns 1, or 0 with the message set.
int check_option_modes(const CLI::App& app, CommandLine& command) {
  const int bit = command.mode == kModeSolve     ? kSolveBit
                  : command.mode == kModeMethodB ? kMethodBBit
                  : command.mode == kModeMap     ? kMapBit
                  : command.mode == kModePlan    ? kPlanBit
                  : command.mode == kModeUrdf    ? kUrdfBit
                                                 : 0;
  for (const OptionRule& use : kOptionRules) {
    if (app.get_option(use.name)->count() == 0 || (use.modes & bit) != 0) continue;
    if (bit == 0)
      command.message = std::string(use.name) + " needs one of " + use.modeText;
    else
      command.message = std::string(use.name) + " cannot be used with " +
                        mode_option(command.mode) + " (it belongs to " + use.modeText + ")";
    return 0;
  }
  return 1;
}

// --to, --planner, --time-limit, --seed and --csv of --plan. Returns 1, or 0 with the message.
int read_plan_values(const CLI::App& app, const RawOptions& raw, CommandLine& command) {
  std::string& message = command.message;
  long value;
  if (app.get_option("--to")->count() > 0 && raw.to != "best") {
    if (raw.to == "method-b") {
      command.planToMethodB = true;
    } else if (!read_integer("--to", raw.to, 1, kMaxPlacements, value, message)) {
      message += " (or best, method-b)";
      return 0;
    } else {
      command.planIndex = static_cast<int>(value);
    }
  }
  if (app.get_option("--planner")->count() > 0) {
    if (!planner_known(raw.planner)) {
      message =
          "--planner: " + quoted(raw.planner) + " is not a planner; one of " + planner_names();
      return 0;
    }
    command.planner = raw.planner;
  }
  if (app.get_option("--time-limit")->count() > 0) {
    if (!read_number("--time-limit", raw.timeLimit, command.timeLimit, message)) return 0;
    if (!(command.timeLimit > 0)) {
      message = "--time-limit: " + quoted(raw.timeLimit) + " is not greater than 0";
      return 0;
    }
  }
  if (app.get_option("--seed")->count() > 0) {
    if (!read_integer("--seed", raw.seed, 0, 4294967295L, value, message)) return 0;
    command.seed = static_cast<unsigned>(value);
  }
  if (app.get_option("--csv")->count() > 0) {
    std::string why;
    command.csv = raw.csv;
    if (!output_path_writable(command.csv.c_str(), why)) {
      message = "--csv: " + why;
      return 0;
    }
  }
  return 1;
}

int read_values(const CLI::App& app, const RawOptions& raw, CommandLine& command) {
  std::string& message = command.message;
  long value;
  if (app.get_option("--type")->count() > 0) {
    command.typeGiven = true;
    if (raw.type == "all") {
      if (command.mode != kModeMap) {
        message = "--type all is for --map only; give a type 1..4";
        return 0;
      }
      command.allTypes = true;
    } else if (!read_integer("--type", raw.type, 1, 4, value, message)) {
      if (command.mode == kModeMap) message += " (or 'all')";
      return 0;
    } else {
      command.type = static_cast<int>(value);
    }
  }
  if (app.get_option("--goal")->count() > 0) {
    if (raw.goal.size() != 3) {
      message = "--goal needs three numbers: x, y and the height of the underside";
      return 0;
    }
    double goal[3];
    for (int k = 0; k < 3; k++)
      if (!read_number("--goal", raw.goal[k], goal[k], message)) return 0;
    for (int k = 0; k < 3; k++) command.goal[k] = goal[k];
    command.goalGiven = true;
  }
  if (app.get_option("--wall")->count() > 0) {
    double wallY;
    if (!read_number("--wall", raw.wall, wallY, message)) return 0;
    command.wallY = wallY;
    command.wallGiven = true;
  }
  command.json = raw.json;
  command.scene = raw.scene;
  if (app.get_option("--max-steps")->count() > 0) {
    if (!read_integer("--max-steps", raw.maxSteps, 1, kMaxStepsLimit, value, message)) return 0;
    command.maxSteps = static_cast<int>(value);
  }
  if (app.get_option("--threads")->count() > 0) {
    if (!read_integer("--threads", raw.threads, 1, kMaxThreads, value, message)) return 0;
    command.threads = static_cast<int>(value);
  }
  if (app.get_option("--step")->count() > 0) {
    if (!read_number("--step", raw.step, command.step, message)) return 0;
    if (!(command.step > 0)) {
      message = "--step: " + quoted(raw.step) + " is not greater than 0";
      return 0;
    }
  }
  if (command.mode == kModePlan && !read_plan_values(app, raw, command)) return 0;
  if (command.mode == kModeMap) {
    // The grid of each type to be drawn must stay within the cell limit.
    for (int type = 1; type <= 4; type++) {
      if (!command.allTypes && type != command.type) continue;
      int nx, ny;
      if (!map_grid_size(type, command.step, nx, ny)) {
        message = "--step: " + (raw.step.empty() ? std::string("0.1") : raw.step) +
                  " is so small that the map of type " + std::to_string(type) +
                  " would have more than " + std::to_string(kMapMaxCells) + " cells";
        return 0;
      }
    }
    if (app.get_option("--out")->count() > 0) command.out = raw.out;
    if (app.get_option("--csv")->count() > 0) command.csv = raw.csv;
    std::string why;
    if (!output_path_writable(command.out.c_str(), why)) {
      message = "--out: " + why;
      return 0;
    }
    if (app.get_option("--csv")->count() > 0) {
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
    command.out.clear();
    if (app.get_option("--out")->count() > 0) {
      command.out = raw.out;
      std::string why;
      if (!output_path_writable(command.out.c_str(), why)) {
        message = "--out: " + why;
        return 0;
      }
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

  if (!check_values(rest, command.message)) return kCommandLineError;
  CLI::App app;
  RawOptions raw;
  try {
    declare_options(app, raw);
    // CLI11 wants the arguments in reverse order, without the program's name.
    std::vector<std::string> reversed(rest.rbegin(), rest.rend());
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    command.message = app.help();
    return kCommandLineHelp;
  } catch (const CLI::ParseError& error) {
    command.message = one_line(error.what());
    if (command.message.empty()) command.message = "bad command line";
    return kCommandLineError;
  } catch (const std::exception& error) {
    command.message = one_line(std::string("bad command line: ") + error.what());
    return kCommandLineError;
  }
  if (!read_mode(raw, command) || !check_option_modes(app, command)) return kCommandLineError;
  if (command.mode != kModeWindow && toolkitOption != nullptr) {
    command.message = std::string(toolkitOption) + " is an option of the window, which " +
                      mode_option(command.mode) + " does not open";
    return kCommandLineError;
  }
  if (!read_values(app, raw, command)) return kCommandLineError;
  return kCommandLineRun;
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
