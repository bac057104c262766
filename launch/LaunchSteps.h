#pragma once
// The start road's own steps around the subsystems: where the launcher lives, its working folder,
// the shortcut's arguments, the Ctrl+Alt hint and the start of the target program.

#include <windows.h>

#include <optional>
#include <string>

#include "ConfigStore.h"
#include "UpdateExtraction.h"

struct FolderJudgement;
struct LauncherVariant;

// Loads DLLs that the system loads on the launcher's behalf (the shell's, the box's) from System32
// only, never from the launcher's folder.
void RestrictDllSearchToSystem32();

struct LauncherLocation {
  std::wstring path;  // full path of Portico.exe; empty when it does not fit 259 characters
  // The path without its last component and separator; a drive's root keeps it ("C:\"), since
  // "C:" alone means the drive's current folder.
  std::wstring folder;
};
LauncherLocation GetLauncherLocation(HINSTANCE instance);

// Makes the launcher folder the current directory; false when it could not.
bool EnterLauncherFolder(const LauncherLocation& launcher);

// The minisign public key compiled into this executable; empty when none was.
extern const char kCompiledUpdateKey[];
// The oldest trusted timestamp of an update this executable installs, stamp or none.
extern const uint64_t kCompiledUpdateFloor;

// Refreshes the shortcut on the variant's desktop with the names for the interface language;
// answers RefreshDesktopShortcut's result.
int RefreshShortcutFor(const ProductConfig& config, const LauncherLocation& launcher, const LauncherVariant& variant);

// RefreshShortcutFor, from a folder that is trusted with the desktop; nothing otherwise.
std::optional<int> RefreshShortcutIfTrusted(const FolderJudgement& folder, const ProductConfig& config,
                                            const LauncherLocation& launcher, const LauncherVariant& variant);

// Ctrl, and then Alt, held down right now.
bool AdminHintKeysHeld();

struct TargetStart {
  enum class Outcome {
    NoProgram,        // no ProgName, one that is not a bare file name or a command script, or no launcher folder
    Started,          // CreateProcessW started it
    Failed,           // CreateProcessW refused it; `error` says why
    ElevatedStarted,  // it demands more rights: started through the elevation prompt
    ElevatedFailed,   // the same, refused or cancelled; `error` says why
  };
  Outcome outcome = Outcome::NoProgram;
  unsigned long error = 0;
  unsigned long processId = 0;  // when CreateProcessW started it
};

// Starts the target program by its full path in the launcher folder, as a program, never through
// the shell's lookup of the file's class (whose per-user entries any program of the user can write).
TargetStart StartTarget(const LauncherLocation& launcher, const std::wstring& targetName,
                        const std::wstring& parameters);
