#pragma once
// The launcher's turn at the installation's update: taken in a wait the user can see, and given up
// with a word when another launcher's update never ends.

#include <string>

#include "LaunchText.h"
#include "UpdateLock.h"

// The exit code of a launcher that gave up waiting for another launcher's update.
constexpr int kExitUpdateNeverEnded = 2;

// Takes the update lock of the installation in `folder`. While another launcher's update lasts more
// than a moment, a small window of the launcher's own says "Updating <short name>…" in the
// interface language; it goes as soon as the wait ends.
UpdateLock TakeUpdateLock(const std::wstring& folder, const std::wstring& progName);

// Tells the user, in a box, that nothing was started (and that the link, if any, was not opened);
// records it and answers kExitUpdateNeverEnded.
int TellUpdateNeverEnded(const std::wstring& progName, const LinkPayload& link);
