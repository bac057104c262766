#include "LaunchSteps.h"
