#pragma once
// What the checker found in one ProductConfig.xml: the settings as the launcher reads them, what it
// will do with them, and every finding, in the order they were found.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ConfigStore.h"

enum class Severity { kError, kWarning, kNote };

struct Finding {
  Severity severity;
  std::string code;     // stable name of the kind of finding, such as "scheme-invalid"
  int line;             // line in the file; 0 when the finding belongs to no line
  std::string message;  // UTF-8
};

struct ShortcutPlan {
  std::wstring current;  // the shortcut's present name; empty: the launcher leaves the shortcut alone
  std::wstring renamed;  // the name it is to carry; empty: kept as it is
};

// What a start does with the settings; empty texts stand for "nothing".
struct LaunchPlan {
  std::wstring program;  // started from the launcher's folder
  bool programPresent = false;
  bool programByContentOnly = false;  // its name is not a program's: it starts only if the file is one
  std::wstring scheme;  // registered scheme name
  // Which launchers lie in the folder: Portico.exe registers the scheme for the machine, PorticoUser.exe
  // for the user alone. A folder with neither is taken for a machine-wide installation.
  bool machineWideLauncher = false;
  bool perUserLauncher = false;
  std::wstring pipe;         // the pipe a link is handed to
  std::wstring language;     // "en-US" or "zh-CN" when the Language setting chooses; empty: the registry does
  std::wstring languageKey;  // the registry key whose default value chooses the interface language, if any
  ShortcutPlan chinese;
  ShortcutPlan english;
  std::wstring icon;  // the shortcut's icon file beside the launcher
  bool iconPresent = false;
  std::vector<LaunchArgument> arguments;  // appended to the target's parameters, in order
  std::wstring logFile;                   // the log file's path, when expanding LogFile changed it

  // The id of the update key compiled into a launcher in the folder, which wins over UpdatePublicKey.
  std::string compiledKeyId;
  std::wstring compiledKeyLauncher;  // the launcher file it was found in

  // The "already running" box shows when a copy is brought up.
  bool announceRunningCopy = true;
};

struct CheckReport {
  std::string file;  // the file checked, as shown
  bool loaded = false;
  ProductConfig settings;                    // as the launcher fills them
  std::vector<LaunchArgument> enabledItems;  // the switched-on Items, as the launcher lists them
  std::map<std::string, int> settingLine;    // setting name to the line of the element that set it
  LaunchPlan plan;
  std::vector<Finding> findings;
};

// "error", "warning" or "note".
const char* SeverityName(Severity severity);

int CountOf(const CheckReport& report, Severity severity);

// 0: nothing to report beyond notes; 1: warnings; 2: the launcher cannot load the file.
int ExitCodeOf(const CheckReport& report);
