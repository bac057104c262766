#pragma once
// The removals an update archive asks for in its list, carried out after every entry has applied.

#include <string>
#include <vector>

enum class RemovalListState {
  None,     // the archive has no list: every record stays as without the feature
  Done,     // the list's paths were judged and removed where allowed
  Refused,  // over a bound, or more than one list in the archive: nothing removed
  Waiting,  // an entry (or the list) failed or the volume ran full: nothing removed this pass
};

struct RemovalReport {
  RemovalListState state = RemovalListState::None;
  int removed = 0;
  int alreadyGone = 0;  // nothing at the path: an earlier pass removed it, or it never was
  int kept = 0;         // the launcher's own files, temp, what the archive writes, a folder not empty
  int skipped = 0;      // unsafe lines, and paths outside the installation or through a link
  int failed = 0;       // in use or denied now: the archive stays for a later start
  std::vector<std::wstring> failures;
};

// Removes the list's `paths` (relative, '\' separated, a trailing '\' for a folder) below `root`
// (ending in a separator), and the folders they leave empty, up to but never including the root.
// Never touches `neverRemove` (full paths), temp and what it holds, the update stamp, update.zip and
// its signature, or a path that one of `written` (the archive's entry names) leads to.
void RemoveListedPaths(const std::wstring& root, const std::vector<std::wstring>& paths,
                       const std::vector<std::wstring>& written, const std::vector<std::wstring>& neverRemove,
                       RemovalReport& report);
