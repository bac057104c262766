#pragma once
// Which ProductConfig.xml a launcher reads: the one beside it, or the one in the folder above. No
// platform calls, so that PorticoCheck, on Windows and on Linux, follows the launcher's own rule;
// each program says through its own file-system calls what it found beside the launcher.

// What a look at a path found.
enum class FileReach {
  kMissing,      // plainly not there: no such file, or no such folder on the way to it
  kPresent,      // something of that name is there, a file or not
  kUnreachable,  // the look itself failed: denied, a path too long, a link that loops
};

enum class ConfigPlace { kBeside, kAbove };

// Only a file plainly missing beside the launcher lets the search go one folder up. One that may
// be there but cannot be reached must fail to load and be reported, never be replaced by whatever
// lies above. Without a folder above (a launcher in a drive's root) it is the one beside.
ConfigPlace PlaceOfConfig(FileReach beside, bool folderAbove);
