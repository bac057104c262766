#pragma once
// The building of a store apart from the process-wide one, so that a store can be built for any
// launcher path (the tests build them for scratch installations).

#include <memory>
#include <string>

#include "ConfigStore.h"

using LoadFailureReport = void (*)();

// Builds a store as Instance() does for a launcher at `modulePath` (empty: the path could not be
// taken). `reportLoadFailure` is called once when a file was looked for and could not be loaded.
std::unique_ptr<ConfigStore> BuildConfigStore(const std::wstring& modulePath, LoadFailureReport reportLoadFailure);
