#pragma once
// The two launchers one build makes, as the tests see them: the file, and where each registers.

#include <windows.h>

#include <string>

namespace rig {

// The classes below which a scheme's key lies: a root and a path below it ("" for the root itself).
struct Classes {
  HKEY root;
  const wchar_t* path;
  std::wstring SchemeKey(const std::wstring& scheme) const;
};

struct LauncherKind {
  const char* name;      // in test names
  const wchar_t* file;   // built beside the tests
  Classes classes;       // where it registers a scheme
  Classes otherClasses;  // where it leaves a scheme alone
};

extern const LauncherKind kMachineWideLauncher;  // Portico.exe
extern const LauncherKind kPerUserLauncher;      // PorticoUser.exe
extern const LauncherKind kLaunchers[2];

// GoogleTest's name for a test over a launcher kind.
struct LauncherKindName {
  template <typename ParamInfo>
  std::string operator()(const ParamInfo& info) const {
    return info.param.name;
  }
};

}  // namespace rig
