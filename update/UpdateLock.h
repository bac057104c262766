#pragma once
// One update at a time per installation: two launchers started together (a link clicked while the
// shortcut starts) must not install the same archive at once, and neither may start the target on
// an update the other is still installing.

#include <string>

#include "WinHandles.h"

class UpdateLock {
 public:
  // Waits, up to a bound generous enough for any update, until no other launcher is updating the
  // installation in `folder`. A launcher killed while it held the lock gives it up.
  explicit UpdateLock(const std::wstring& folder);
  ~UpdateLock();
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;

  // False when another launcher's update did not end within the bound. A lock that cannot be made at
  // all (no rights to it) grants the update: the launcher then goes on as a lone one would.
  bool granted() const { return granted_; }

 private:
  portico::KernelHandle mutex_;
  bool owned_ = false;
  bool granted_ = false;
};

// The mutex's name for an installation folder: the same for every spelling of the folder that the
// file system resolves alike.
std::wstring UpdateLockName(const std::wstring& folder);
