// Soak test of the shell: many random keys (a million by default, seeded) through the keyboard
// dispatcher, with random console text for every goal and wall dialog: goals and walls within and
// out of reach, huge numbers, nan and inf, words that are no numbers, and text that ends before
// a dialog is satisfied. After every key the scene must keep its invariants (shell_session.h);
// a broken one aborts, printing the seed, the key's index and the key. Runs of Method B steps and
// of motion steps come in bursts so the calculations go deep; every key 0..255 can come. Usage:
// shell_soak [keys] [seed]. Prints the keys pressed, the time and the keys per second.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "app/console.h"
#include "fuzz/shell_session.h"

namespace {

// Console text for one dialog, at most this long.
constexpr int kTextSize = 512;

struct Soak {
  std::mt19937 rng;
  // A burst: the keys still to press, alternating between burstKeys[0] and burstKeys[1].
  int burstLeft = 0;
  unsigned char burstKeys[2] = {0, 0};
  // Counters for the report.
  long methodSteps = 0, goals = 0, dialogs = 0;  // goals: new motion goals (joint 1 moved)
};

int uniform(Soak& soak, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(soak.rng);
}

double uniform_real(Soak& soak, double low, double high) {
  return std::uniform_real_distribution<double>(low, high)(soak.rng);
}

void start_burst(Soak& soak, unsigned char first, unsigned char second, int length) {
  soak.burstKeys[0] = first;
  soak.burstKeys[1] = second;
  soak.burstLeft = length;
}

// The next key: a burst's next one, or a command that may start a burst ('B' then 'a'/'b'
// steps, 'C' then motion steps, 'D' then turns of the contact joint, 'F' then digits), or a
// cheap key (steps outside their mode, digits, view keys), or any byte.
unsigned char next_key(Soak& soak) {
  if (soak.burstLeft > 0) {
    soak.burstLeft--;
    return soak.burstKeys[soak.burstLeft % 2];
  }
  const int r = uniform(soak, 0, 999);
  if (r < 3) {
    const unsigned char keys[3][2] = {{'a', 'b'}, {'a', 'a'}, {'b', 'b'}};
    const int kind = uniform(soak, 0, 2);
    start_burst(soak, keys[kind][0], keys[kind][1], uniform(soak, 10, 300));
    return 'B';
  }
  if (r < 6) {
    start_burst(soak, 's', 's', uniform(soak, 1, 120));
    return 'C';
  }
  if (r < 9) {
    start_burst(soak, 's', 's', uniform(soak, 0, 40));
    return 'D';
  }
  if (r < 12) {
    start_burst(soak, static_cast<unsigned char>(uniform(soak, '1', '4')), 'F',
                uniform(soak, 1, 4));
    return 'F';
  }
  const char commands[] = "GO0Bab";
  if (r < 60) return commands[uniform(soak, 0, 5)];
  const char cheap[] = "abs123456789PpQqRrXxYyZz";
  if (r < 800) return cheap[uniform(soak, 0, sizeof cheap - 2)];
  return static_cast<unsigned char>(uniform(soak, 0, 255));
}

// Appends one word of console text for a dialog: a number near the robot (in or out of
// reach), a whole or half one, a huge or tiny one, one that is not finite, a word that is no
// number, or the default scene's value.
int append_word(Soak& soak, char* text, int used, bool goal, int index) {
  const int room = kTextSize - used;
  const char* const notFinite[] = {"nan", "inf", "-inf", "1e999", "-NaN", "infinity"};
  const char* const notNumbers[] = {"abc", "1.2.3", "0x", ",", "1,5", "--1", "1e", "+"};
  const double defaults[3] = {-0.6, 2.2, 0};
  int written;
  switch (uniform(soak, 0, 9)) {
    case 0:
      written = std::snprintf(text + used, room, "%.17g ", uniform_real(soak, -1e300, 1e300));
      break;
    case 1:
      written = std::snprintf(text + used, room, "%s ", notFinite[uniform(soak, 0, 5)]);
      break;
    case 2:
      written = std::snprintf(text + used, room, "%s ", notNumbers[uniform(soak, 0, 7)]);
      break;
    case 3:
      written = std::snprintf(text + used, room, "%.17g ", uniform_real(soak, -1e-300, 1e-300));
      break;
    case 4:
      written = std::snprintf(text + used, room, "%.17g ", goal ? defaults[index] : 1.3);
      break;
    case 5:
      // Whole and half values: goals on joint axes, at the edge of reach, walls on the base.
      written = std::snprintf(text + used, room, "%g ", uniform(soak, -8, 8) / 2.0);
      break;
    default:
      written = std::snprintf(text + used, room, "%.6f ", uniform_real(soak, -5, 5));
      break;
  }
  return written < room ? used + written : used;
}

// Console text for the goal (three numbers a line) or wall (one) dialog: up to four lines,
// the last one sometimes cut short, or nothing at all (the input has ended).
int console_text(Soak& soak, bool goal, char* text) {
  int used = 0;
  const int lines = uniform(soak, 0, 4);
  for (int line = 0; line < lines; line++) {
    const int words = goal ? 3 : 1;
    const int cut =
        line == lines - 1 && uniform(soak, 0, 9) == 0 ? uniform(soak, 0, words - 1) : words;
    for (int k = 0; k < cut; k++) used = append_word(soak, text, used, goal, k);
    if (used < kTextSize - 1) text[used++] = '\n';
  }
  return used;
}

// Presses key with fresh console text for a dialog key; returns whether it was pressed.
bool press_with_console(Soak& soak, unsigned char key, FILE* noInput) {
  if (key != 'G' && key != 'O') return press_and_check(key);
  char text[kTextSize];
  const int size = console_text(soak, key == 'G', text);
  console.in = typed_console(reinterpret_cast<const uint8_t*>(text), size);
  press_and_check(key);
  std::fclose(console.in);
  console.in = noInput;
  soak.dialogs++;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const long keys = argc > 1 ? std::atol(argv[1]) : 1000000;
  const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 1;
  Soak soak;
  soak.rng.seed(seed);
  console.out = discarding_stream();
  FILE* noInput = typed_console(nullptr, 0);
  console.in = noInput;
  fresh_scene();

  double where[3] = {static_cast<double>(seed), 0, 0};  // seed, key index, key
  fuzzCase = {where, 3};
  const auto start = std::chrono::steady_clock::now();
  long pressed = 0;
  while (pressed < keys) {
    const unsigned char key = next_key(soak);
    where[1] = static_cast<double>(pressed);
    where[2] = key;
    const bool calculating = scene.calcMode == 'B' && (key == 'a' || key == 'b');
    const double goalJoint1 = scene.methodB.qGoal[1];
    if (!press_with_console(soak, key, noInput)) continue;
    pressed++;
    if (calculating) soak.methodSteps++;
    if (scene.methodB.qGoal[1] != goalJoint1) soak.goals++;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fclose(noInput);
  std::printf(
      "shell_soak: %ld keys in %.1f s (%.0f keys/s), seed %u: %ld Method B steps, %ld motion "
      "goals, %ld dialogs; invariants held\n",
      pressed, seconds, pressed / seconds, seed, soak.methodSteps, soak.goals, soak.dialogs);
  return 0;
}
