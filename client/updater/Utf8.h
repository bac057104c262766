#pragma once
// UTF-8 and the UTF-16 that Windows takes, for addresses and paths.

#include <string>
#include <string_view>

namespace portico::client::updater {

std::wstring Widened(std::string_view utf8);
std::string Narrowed(std::wstring_view wide);

}  // namespace portico::client::updater
