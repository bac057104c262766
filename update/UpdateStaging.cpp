#include "UpdateStaging.h"

void StageUpdatePackage() {}
