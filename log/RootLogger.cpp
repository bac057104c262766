#include "RootLogger.h"

// The standard streams come first: the standard-error sink keeps std::cerr.
#include <iostream>

cpplog::KvLogger rootLogger;
