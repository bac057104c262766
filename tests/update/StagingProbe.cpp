// Stages the update of the folder it was copied into, through the launcher's own entry point,
// and writes the 8-bit launcher folder to standard error as raw bytes. Exit code 2: no folder.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "LauncherFolder.h"
#include "UpdateStaging.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::string folder;
  const bool found = GetLauncherFolderAnsi(folder);
  _setmode(_fileno(stderr), _O_BINARY);
  fwrite(folder.data(), 1, folder.size(), stderr);
  fflush(stderr);
  StageUpdatePackage();
  return found ? 0 : 2;
}
