// Fuzz target: the shell. An input is a sequence of keys pressed in the window and the text
// typed at the console meanwhile: its first byte n, then n keys (fewer if the input ends), then
// the console text. Every input starts from the start-up scene; after every key the scene must
// keep its invariants (shell_session.h). Drawing is left out: keys go to the keyboard
// dispatcher, which only says whether to redraw.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "app/console.h"
#include "fuzz/shell_session.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  console.out = discarding_stream();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t keyCount = std::min<size_t>(data[0], size - 1);
  const uint8_t* keys = data + 1;
  fresh_scene();
  console.in = typed_console(keys + keyCount, size - 1 - keyCount);
  for (size_t k = 0; k < keyCount; k++) press_and_check(keys[k]);
  std::fclose(console.in);
  console.in = stdin;
  return 0;
}
