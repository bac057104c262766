#pragma once
// The outcome of a signed update's pass, put where the client's updater looks: temp\~pt-update.outcome.

#include <string>

#include "UpdateOutcome.h"

// Replaces the record in the installation `root` (ending in a separator) whole, or leaves the old one.
// Nothing is written into a temp that is missing or a link: the write would land wherever it leads.
bool WriteUpdateOutcome(const std::wstring& root, const UpdateOutcome& outcome);
