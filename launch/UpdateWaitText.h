#pragma once
// What the user reads while the launcher waits for another launcher's update, and when it gives up.
// Pure text, no Win32, so that it also builds natively.

#include <string>

// "Updating <short name>…", the waiting window's title and text.
std::wstring UpdatingText(const std::wstring& shortName, bool chinese);

struct UpdateGaveUpBox {
  std::wstring caption;
  std::wstring text;
};
// The box when the other update never ended; with `linkDropped`, it says that the link was not opened.
UpdateGaveUpBox UpdateGaveUpTexts(const std::wstring& shortName, bool chinese, bool linkDropped);
