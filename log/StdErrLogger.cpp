#include "StdErrLogger.h"

#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace cpplog {
namespace {

bool UseBinaryStandardError() {
#ifdef _WIN32
  // The C runtime opens standard error in text mode, which would turn each LF into CR LF and make
  // this sink's bytes differ from the debugger's.
  const int descriptor = _fileno(stderr);
  if (descriptor >= 0) _setmode(descriptor, _O_BINARY);
#endif
  return true;
}

}  // namespace

StdErrLogger::StdErrLogger() : OstreamLogger(&std::cerr) {
  static const bool binary = UseBinaryStandardError();
  (void)binary;
}

}  // namespace cpplog
