#include "CleanupTargets.h"

#include <sstream>

#include "ConfigStore.h"

std::optional<std::wstring> ProgramOfOpenCommand(const std::wstring& command) {
  const std::size_t start = command.find_first_not_of(L" \t");
  if (start == std::wstring::npos) return std::nullopt;
  if (command[start] == L'"') {
    const std::size_t close = command.find(L'"', start + 1);
    if (close == std::wstring::npos || close == start + 1) return std::nullopt;
    return command.substr(start + 1, close - start - 1);
  }
  const std::size_t end = command.find_first_of(L" \t", start);
  return command.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

std::vector<std::wstring> ShortcutNamesOf(const ProductConfig& config) {
  std::vector<std::wstring> names;
  for (const std::wstring* name :
       {&config.shortcut_cn, &config.shortcut_en, &config.shortcut_new_cn, &config.shortcut_new_en}) {
    if (name->empty()) continue;
    bool seen = false;
    for (const std::wstring& known : names) seen = seen || known == *name;
    if (!seen) names.push_back(*name);
  }
  return names;
}

std::optional<bool> MachineWideFromArguments(const std::wstring& arguments) {
  std::wistringstream words(arguments);
  std::wstring verb, variant, extra;
  words >> verb >> variant;
  if (verb != L"--uninstall" || (words >> extra)) return std::nullopt;
  if (variant == L"machine") return true;
  if (variant == L"user") return false;
  return std::nullopt;
}
