#pragma once
// The file's bytes as the launcher's reader takes them: UTF-8 only, whatever the file says.

#include <string_view>
#include <vector>

#include "CheckReport.h"

// A finding when the file looks like UTF-16 (by its byte-order mark, or the NUL bytes it has
// without one): an error when the launcher could not load it, else a warning; and a warning at the
// first line holding bytes that are not UTF-8. True when the file looks like UTF-16.
bool CheckEncoding(std::string_view bytes, bool loaded, std::vector<Finding>& findings);
