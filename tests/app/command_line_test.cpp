// The command line: each mode with its options, negative numbers written plainly, the window
// when no mode is given (the toolkit's options left alone), the help listing every option, and
// every kind of bad input refused with one line and exit status 2.
#include "app/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "console_capture.h"
#include "support.h"

namespace {

// Parses "armsim" followed by arguments.
int parse(std::initializer_list<const char*> arguments, CommandLine& command) {
  std::vector<const char*> argv = {"armsim"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  argv.push_back(nullptr);
  return parse_command_line(static_cast<int>(argv.size()) - 1, argv.data(), command);
}

// What finish_command_line prints on each stream and its status.
struct Finished {
  int status;
  std::string out, err;
};
Finished finish(int result, const CommandLine& command) {
  CapturedStream out, err;
  const int status = finish_command_line(result, command, out.stream(), err.stream());
  return {status, out.text(), err.text()};
}

TEST(CommandLine, SolveWithEveryOption) {
  CommandLine c;
  ASSERT_EQ(
      parse({"--solve", "--type", "3", "--goal", "-0.6", "2.2", "0", "--wall", "-1", "--json"}, c),
      kCommandLineRun)
      << c.message;
  EXPECT_EQ(c.mode, kModeSolve);
  EXPECT_EQ(c.type, 3);
  EXPECT_TRUE(c.typeGiven);
  EXPECT_FALSE(c.allTypes);
  EXPECT_TRUE(c.goalGiven);
  EXPECT_EQ(c.goal[0], -0.6);
  EXPECT_EQ(c.goal[1], 2.2);
  EXPECT_EQ(c.goal[2], 0);
  EXPECT_TRUE(c.wallGiven);
  EXPECT_EQ(c.wallY, -1);
  EXPECT_TRUE(c.json);
}

// Without options a mode takes the start-up scene: nothing given.
TEST(CommandLine, ModesAloneGiveNothing) {
  CommandLine c;
  ASSERT_EQ(parse({"--method-b"}, c), kCommandLineRun);
  EXPECT_EQ(c.mode, kModeMethodB);
  EXPECT_FALSE(c.typeGiven || c.goalGiven || c.wallGiven || c.json);
  EXPECT_EQ(c.type, 1);
  EXPECT_EQ(c.maxSteps, 1000);
  ASSERT_EQ(parse({"--solve"}, c), kCommandLineRun);
  EXPECT_EQ(c.mode, kModeSolve);
  EXPECT_FALSE(c.typeGiven || c.goalGiven || c.wallGiven || c.json);
}

// Negative numbers in every spelling, with a space or with '=', a leading '+'.
TEST(CommandLine, NegativeNumbersPlainly) {
  CommandLine c;
  ASSERT_EQ(
      parse({"--method-b", "--goal", "-.5", "-1e-1", "+0", "--wall", "-.25", "--max-steps", "+7"},
            c),
      kCommandLineRun)
      << c.message;
  EXPECT_EQ(c.goal[0], -0.5);
  EXPECT_EQ(c.goal[1], -0.1);
  EXPECT_EQ(c.goal[2], 0);
  EXPECT_EQ(c.wallY, -0.25);
  EXPECT_EQ(c.maxSteps, 7);
  ASSERT_EQ(parse({"--solve", "--wall=-3", "--goal=-1", "-2", "-0"}, c), kCommandLineRun)
      << c.message;
  EXPECT_EQ(c.wallY, -3);
  EXPECT_EQ(c.goal[0], -1);
  EXPECT_EQ(c.goal[1], -2);
}

TEST(CommandLine, MapWithEveryOption) {
  char name[] = "/tmp/armsim-cli-XXXXXX";
  const std::string dir = mkdtemp(name);
  const std::string png = dir + "/all.png", csv = dir + "/all.csv";
  CommandLine c;
  ASSERT_EQ(parse({"--map", "--type", "all", "--wall", "0.9", "--step", "0.25", "--threads", "2",
                   "--out", png.c_str(), "--csv", csv.c_str()},
                  c),
            kCommandLineRun)
      << c.message;
  EXPECT_EQ(c.mode, kModeMap);
  EXPECT_TRUE(c.allTypes);
  EXPECT_EQ(c.wallY, 0.9);
  EXPECT_EQ(c.step, 0.25);
  EXPECT_EQ(c.threads, 2);
  EXPECT_EQ(c.out, png);
  EXPECT_EQ(c.csv, csv);
  // Defaults: type 1, step 0.1, every core, the default picture, no table.
  ASSERT_EQ(parse({"--map"}, c), kCommandLineRun) << c.message;
  EXPECT_FALSE(c.allTypes || c.typeGiven || c.wallGiven);
  EXPECT_EQ(c.step, 0.1);
  EXPECT_EQ(c.threads, 0);
  EXPECT_EQ(c.out, kDefaultMapPicture);
  EXPECT_EQ(c.csv, "");
  // The check of the output paths creates nothing.
  EXPECT_NE(access(png.c_str(), F_OK), 0);
  EXPECT_NE(access(csv.c_str(), F_OK), 0);
  rmdir(dir.c_str());
}

// No mode: the window, with the toolkit's own options left for it.
TEST(CommandLine, NoModeOpensTheWindow) {
  CommandLine c;
  EXPECT_EQ(parse({}, c), kCommandLineRun);
  EXPECT_EQ(c.mode, kModeWindow);
  EXPECT_EQ(parse({"-display", ":7"}, c), kCommandLineRun);
  EXPECT_EQ(c.mode, kModeWindow);
  EXPECT_EQ(parse({"-display", ":7", "-geometry", "600x600+0+0", "-iconic", "-sync"}, c),
            kCommandLineRun);
  EXPECT_EQ(c.mode, kModeWindow);
  const Finished finished = finish(kCommandLineRun, c);
  EXPECT_EQ(finished.status, -1);
  EXPECT_EQ(finished.out + finished.err, "");
}

// --help and -h: every option listed, on stdout, status 0.
TEST(CommandLine, HelpListsEveryOption) {
  for (const char* help : {"--help", "-h"}) {
    CommandLine c;
    ASSERT_EQ(parse({help}, c), kCommandLineHelp) << help;
    for (const char* option :
         {"--help", "--solve", "--method-b", "--map", "--type", "--goal", "--wall", "--json",
          "--max-steps", "--step", "--threads", "--out", "--csv", "-display"})
      EXPECT_NE(c.message.find(option), std::string::npos) << option;
    const Finished finished = finish(kCommandLineHelp, c);
    EXPECT_EQ(finished.status, 0);
    EXPECT_EQ(finished.out, c.message.back() == '\n' ? c.message : c.message + "\n");
    EXPECT_EQ(finished.err, "");
  }
  CommandLine c;
  EXPECT_EQ(parse({"--map", "--help"}, c), kCommandLineHelp);
}

// Each bad input: an error with one line, which names what is wrong; printed as one line on
// stderr with status 2 and nothing on stdout.
struct BadInput {
  std::vector<const char*> arguments;
  const char* mentions;  // text the message must contain
};

TEST(CommandLine, BadInputGetsOneLineAndStatus2) {
  char name[] = "/tmp/armsim-cli-XXXXXX";
  const std::string dir = mkdtemp(name);
  const std::string missing = dir + "/missing/map.png";
  const std::string png = dir + "/map.png";
  const BadInput cases[] = {
      // Unknown options and stray words.
      {{"--frobnicate"}, "--frobnicate"},
      {{"--solve", "extra"}, "extra"},
      {{"-solve"}, "-solve"},
      {{"stray"}, "stray"},
      // Missing, extra or non-numeric values; nan and inf.
      {{"--solve", "--wall"}, "--wall"},
      {{"--solve", "--wall", "--json"}, "--wall"},
      {{"--solve", "--goal", "1", "2"}, "--goal"},
      {{"--solve", "--goal", "1", "2", "--wall", "1"}, "--goal"},
      {{"--solve", "--goal", "1", "2", "3", "4"}, "'4'"},
      {{"--solve", "--goal", "1", "x", "3"}, "'x'"},
      {{"--solve", "--wall", "abc"}, "'abc'"},
      {{"--solve", "--wall", "1.3m"}, "'1.3m'"},
      {{"--solve", "--wall", "1,3"}, "'1,3'"},
      {{"--solve", "--wall", ""}, "--wall"},
      {{"--solve", "--wall", "nan"}, "'nan'"},
      {{"--solve", "--wall", "inf"}, "'inf'"},
      {{"--solve", "--wall", "-inf"}, "'-inf'"},
      {{"--solve", "--wall", "1e400"}, "'1e400'"},
      {{"--method-b", "--goal", "nan", "0", "0"}, "'nan'"},
      {{"--method-b", "--goal", "0", "0", "-Infinity"}, "'-Infinity'"},
      {{"--map", "--step", "NaN"}, "'NaN'"},
      // Types.
      {{"--solve", "--type", "0"}, "--type"},
      {{"--solve", "--type", "5"}, "--type"},
      {{"--solve", "--type", "-1"}, "--type"},
      {{"--solve", "--type", "2.5"}, "'2.5'"},
      {{"--solve", "--type", "one"}, "'one'"},
      {{"--solve", "--type", "all"}, "all"},
      {{"--method-b", "--type", "all"}, "all"},
      {{"--map", "--type", "ALL"}, "'ALL'"},
      {{"--map", "--type", "9"}, "--type"},
      // Counts.
      {{"--method-b", "--max-steps", "0"}, "--max-steps"},
      {{"--method-b", "--max-steps", "-5"}, "--max-steps"},
      {{"--method-b", "--max-steps", "1.5"}, "'1.5'"},
      {{"--method-b", "--max-steps", "99999999999999999999"}, "--max-steps"},
      {{"--map", "--threads", "0"}, "--threads"},
      {{"--map", "--threads", "two"}, "'two'"},
      // Steps: not above 0, or too many cells.
      {{"--map", "--step", "0"}, "--step"},
      {{"--map", "--step", "-0.1"}, "--step"},
      {{"--map", "--step", "0.001"}, "1000000"},
      {{"--map", "--step", "1e-300"}, "1000000"},
      {{"--map", "--type", "all", "--step", "0.006"}, "1000000"},
      // Options of another mode, or of none.
      {{"--solve", "--step", "0.2"}, "--step"},
      {{"--solve", "--max-steps", "3"}, "--max-steps"},
      {{"--method-b", "--csv", "a.csv"}, "--csv"},
      {{"--map", "--goal", "1", "2", "0"}, "--goal"},
      {{"--map", "--json"}, "--json"},
      {{"--wall", "1"}, "--wall"},
      {{"--json"}, "--json"},
      {{"--out", "a.png"}, "--out"},
      // Two modes; an option twice; the toolkit's options with a mode.
      {{"--solve", "--map"}, "--map"},
      {{"--method-b", "--solve"}, "--solve"},
      {{"--solve", "--wall", "1", "--wall", "2"}, "--wall"},
      {{"--map", "--map"}, "--map"},
      {{"--solve", "-display", ":1"}, "-display"},
      // Output files that cannot be written.
      {{"--map", "--out", missing.c_str()}, "missing"},
      {{"--map", "--csv", missing.c_str()}, "missing"},
      {{"--map", "--out", dir.c_str()}, "--out"},
      {{"--map", "--out", ""}, "--out"},
      {{"--map", "--out", png.c_str(), "--csv", png.c_str()}, "same file"},
  };
  for (const BadInput& bad : cases) {
    std::vector<const char*> argv = {"armsim"};
    std::string shown;
    for (const char* argument : bad.arguments) {
      argv.push_back(argument);
      shown += std::string(" ") + argument;
    }
    argv.push_back(nullptr);
    CommandLine c;
    ASSERT_EQ(parse_command_line(static_cast<int>(argv.size()) - 1, argv.data(), c),
              kCommandLineError)
        << shown;
    EXPECT_NE(c.message.find(bad.mentions), std::string::npos) << shown << ": " << c.message;
    const Finished finished = finish(kCommandLineError, c);
    EXPECT_EQ(finished.status, 2) << shown;
    EXPECT_EQ(finished.out, "") << shown;
    EXPECT_EQ(finished.err, "armsim: " + c.message + "\n") << shown;
    EXPECT_EQ(std::count(finished.err.begin(), finished.err.end(), '\n'), 1) << shown;
  }
  // Nothing was created by any of them.
  EXPECT_NE(access(png.c_str(), F_OK), 0);
  rmdir(dir.c_str());
}

// A command line with several faults reports the same one whatever the order of its words:
// help before everything, then unknown words, the modes, the values in a fixed order (type,
// goal, wall, steps, threads, step, the plan's values), the output files last.
TEST(CommandLine, SeveralFaultsReportTheFirstInAFixedOrder) {
  struct Case {
    std::vector<const char*> arguments;
    const char* message;  // the whole message; empty for the help
  };
  const Case cases[] = {
      {{"--type", "9", "--help"}, ""},
      {{"--type", "9", "--frob"}, "--frob is not an option (armsim --help lists every option)"},
      {{"--type", "9", "--solve", "--map"}, "--solve and --map cannot be used together"},
      {{"--threads", "0", "--solve"},
       "--threads cannot be used with --solve (it belongs to --map)"},
      {{"--map", "--step", "0", "--threads", "0"}, "--threads: '0' is outside 1..256"},
      {{"--map", "--wall", "x", "--type", "0"}, "--type: '0' is outside 1..4 (or 'all')"},
      {{"--plan", "--csv", "/nonexistent/p.csv", "--seed", "x"}, "--seed: 'x' is not a number"},
      {{"--plan", "--seed", "x", "--to", "0"}, "--to: '0' is outside 1..64 (or best, method-b)"},
      {{"--urdf", "--out", "/nonexistent/u.urdf", "--wall", "1"},
       "--wall with --urdf needs --scene: only the scene has a wall"},
  };
  for (const Case& fault : cases) {
    std::string shown;
    for (const char* argument : fault.arguments) shown += std::string(" ") + argument;
    // Forwards and backwards (an option's values kept after it).
    for (bool reversed : {false, true}) {
      std::vector<std::vector<const char*>> groups;
      for (const char* argument : fault.arguments)
        if (argument[0] == '-' && argument[1] == '-')
          groups.push_back({argument});
        else
          groups.back().push_back(argument);
      if (reversed) std::reverse(groups.begin(), groups.end());
      std::vector<const char*> argv = {"armsim"};
      for (const auto& group : groups) argv.insert(argv.end(), group.begin(), group.end());
      argv.push_back(nullptr);
      CommandLine c;
      const int result = parse_command_line(static_cast<int>(argv.size()) - 1, argv.data(), c);
      if (fault.message[0] == '\0') {
        EXPECT_EQ(result, kCommandLineHelp) << shown;
      } else {
        EXPECT_EQ(result, kCommandLineError) << shown;
        EXPECT_EQ(c.message, fault.message) << shown << (reversed ? " (reversed)" : "");
      }
    }
  }
}

// The caller's own refusals (reach tests, failed output) in the same form.
TEST(CommandLine, CallersErrorsInTheSameForm) {
  CapturedStream err;
  EXPECT_EQ(command_line_error("goal out of reach\n(LL1 = 4.1 > LL2 = 3.2)", err.stream()), 2);
  EXPECT_EQ(err.text(), "armsim: goal out of reach (LL1 = 4.1 > LL2 = 3.2)\n");
}

}  // namespace
