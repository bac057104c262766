#pragma once
// One update at a time per installation: two launchers started together (a link clicked while the
// shortcut starts) must not install the same archive at once, and neither may start the target on
// an update the other is still installing.

#include <string>

#include "WinHandles.h"

class UpdateLock {
 public:
  // Waits, up to a bound generous enough for any update, until no other launcher is updating the
  // installation in `folder`. The lock is a file in the installation that one launcher at a time
  // holds open: only who may change the installation can hold it, and a launcher killed while it
  // held it lets it go.
  explicit UpdateLock(const std::wstring& folder);
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;

  // False when another launcher's update did not end within the bound.
  bool granted() const { return granted_; }

 private:
  portico::FileHandle file_;
  bool granted_ = false;
};
