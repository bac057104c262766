#include "LaunchSteps.h"

// Each launcher executable compiles this file with its own PORTICO_UPDATE_PUBLIC_KEY.
extern const char kCompiledUpdateKey[] = PORTICO_UPDATE_PUBLIC_KEY;
