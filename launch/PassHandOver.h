#pragma once
// An update that replaces the launcher's own file runs from a copy of the launcher. Windows cannot
// replace the file of a running program, only rename it aside, and a kill between that rename and
// the new file's would leave no launcher at all, with the shortcut and the scheme pointing at it.
// So the launcher copies itself to an orphan name, starts the copy and ends; the copy waits for its
// end, runs the pass, which then replaces the launcher's file by one rename, and goes on with the
// start as the launcher would have.

#include <string>

#include "LaunchSteps.h"
#include "UpdateExtraction.h"

struct PassRunner {
  bool active = false;        // this process is such a copy, and its launcher has ended
  bool refused = false;       // a copy by its name and switch, but given no launcher beside it: it must end
  LauncherLocation launcher;  // the launcher it stands for (for the shortcut and the records)
  std::wstring commandLine;   // that launcher's command line; this process's own when not a copy
};

// A copy is recognised by its own file name, an orphan's, and by the switch its launcher gave it
// with its process handle; the launcher's path comes from that handle, never from the text. Waits
// for that launcher to end. Without the orphan name or the switch, it is an ordinary start with the
// whole command line.
PassRunner RecognisePassRunner(const wchar_t* commandLine);

struct UpdatePass {
  bool handedOver = false;  // a copy runs the pass; this launcher must end now, as it would have
  ExtractionReport extraction;
};

// Extracts update.zip from the current folder; when the verified archive would replace this
// program's own file, hands the pass to a copy started with `commandLine` instead. When no copy can
// be made or started, extracts it here after all. The archive's removal list never removes the
// launcher's own files, the log file that `logFileSetting` names among them.
UpdatePass ExtractUpdateOrHandOver(const UpdateTrust& trust, const LauncherLocation& launcher,
                                   const std::wstring& commandLine, const std::wstring& logFileSetting);
