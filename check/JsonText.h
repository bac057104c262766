#pragma once
// JSON text of the tools' reports.

#include <string>

// UTF-8 text as a JSON string: quoted, with '"', '\' and control characters escaped.
std::string JsonString(const std::string& utf8);
