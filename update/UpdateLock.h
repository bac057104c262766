#pragma once
// One update at a time per installation: two launchers started together (a link clicked while the
// shortcut starts) must not install the same archive at once, and neither may start the target on
// an update the other is still installing.

#include <functional>
#include <string>

#include "WinHandles.h"

class UpdateLock {
 public:
  // What stood at the lock's name that no launcher holds.
  enum class Squatter {
    None,
    FolderRemoved,  // an empty folder: removed, and the lock taken in its place
    FolderKept,     // a link, or a folder with something in it: left alone, and no lock taken
  };

  // Waits, up to a bound generous enough for any update, until no other launcher is updating the
  // installation in `folder`. The lock is a file in the installation that one launcher at a time
  // holds open: only who may change the installation can hold it, and a launcher killed while it
  // held it lets it go. `onLongWait` is called once when the wait lasts more than a moment; the
  // windows it shows are kept answering while the wait goes on.
  explicit UpdateLock(const std::wstring& folder, const std::function<void()>& onLongWait = {});
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;

  // False when another launcher's update did not end within the bound.
  bool granted() const { return granted_; }
  // True when another launcher held the lock at the first try: what runs may have changed since.
  bool waited() const { return waited_; }
  Squatter squatter() const { return squatter_; }

 private:
  portico::FileHandle file_;
  bool granted_ = false;
  bool waited_ = false;
  Squatter squatter_ = Squatter::None;
};
