#include "DesktopShortcut.h"

int RefreshDesktopShortcut(const wchar_t* oldName, const wchar_t*, const wchar_t*, const wchar_t*,
                           const wchar_t*, const wchar_t*) {
  return oldName ? -3 : -1;
}
