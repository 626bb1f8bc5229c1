// Linked into the program and the tests of the sanitizer build only. The GL stack unloads the
// driver it loaded at run time before the leak check runs at exit, and a leak inside a library
// that is gone has no name for the suppressions in scripts/lsan.supp to match. Here unloading
// does nothing, so every library stays mapped, and named, until the process ends.
extern "C" int dlclose(void*) {
  return 0;
}
