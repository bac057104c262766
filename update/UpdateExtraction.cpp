#include "UpdateExtraction.h"

void ExtractUpdatePackage() {}
