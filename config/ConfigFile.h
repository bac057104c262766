#pragma once
// Where ProductConfig.xml is found for a launcher, and its loading through a wide path, so that an
// installation folder outside the system's ANSI code page works.

#include <tinyxml2.h>

#include <optional>
#include <string>

#include "ConfigPlace.h"

// What GetFileAttributesW says of `path` (a full path); one longer than 259 characters is looked at
// through its long form. Only "file not found" and "path not found" make it missing.
FileReach ReachOf(const std::wstring& path);

// The file beside the launcher at `modulePath` unless it is plainly missing there (not found), else
// the one in the folder above (not tested before use). A file beside the launcher that exists but
// cannot be read, its path too long included, is given, so that its loading fails and is reported.
// Nothing when the path names no folder. A launcher in a drive's root has no folder above: the path
// beside it is given, so that its loading fails and is reported.
std::optional<std::wstring> FindConfigFile(const std::wstring& modulePath);

// Loads `path` into `document` and returns its error code; a missing or unopenable file gives
// XML_ERROR_FILE_NOT_FOUND as XMLDocument::LoadFile(name) does. A path longer than 259 characters
// is treated as missing: it is neither cut nor used.
tinyxml2::XMLError LoadConfigFile(const std::wstring& path, tinyxml2::XMLDocument& document);
