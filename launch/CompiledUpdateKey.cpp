#include "LaunchSteps.h"

// Each launcher executable compiles this file with its own PORTICO_UPDATE_PUBLIC_KEY and
// PORTICO_UPDATE_FLOOR.
extern const char kCompiledUpdateKey[] = PORTICO_UPDATE_PUBLIC_KEY;
extern const uint64_t kCompiledUpdateFloor = PORTICO_UPDATE_FLOOR;
