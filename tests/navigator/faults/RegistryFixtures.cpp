// The library tests' registry scaffolding (whole-key save and restore), built into this program too.
#include "tests/hostenv/RegistryFixtures.cpp"
