#include "RootLogger.h"

// The standard streams come first: the standard-error sink keeps std::cerr.
#include <iostream>

// Defined in this order in one file, so that the tag exists before the root logger and is
// destroyed after it.
const std::string logTag = "ZIR";
cpplog::KvLogger rootLogger;
