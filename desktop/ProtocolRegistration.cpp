#include "ProtocolRegistration.h"

#include <cwchar>

#include "FolderTrust.h"
#include "LaunchText.h"
#include "LauncherVariant.h"
#include "Log.h"
#include "OpenCommand.h"
#include "ProtocolRegistrationStore.h"
#include "WinHandles.h"

namespace {

// The text and its terminating zero, nothing more: readers with a small buffer, Wine's shell among
// them (256 characters), reject a padded value and the scheme stops working.
LSTATUS SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LSTATUS StoreDefaultValue(HKEY commandKey, const std::wstring& command) { return SetText(commandKey, L"", command); }

// Windows starts a URL handler only when the scheme's key says it is one. A key that an installer
// made is left as the installer made it.
void MarkAsUrlScheme(HKEY schemeKey, const std::wstring& scheme) {
  SetText(schemeKey, L"URL Protocol", L"");
  SetText(schemeKey, L"", L"URL:" + scheme);
}

std::wstring SchemeKeyPath(const LauncherVariant& variant, const std::wstring& scheme) {
  return *variant.schemeClasses ? std::wstring(variant.schemeClasses) + L"\\" + scheme : scheme;
}

// The program the scheme's command starts now, when that is a file (not a folder) that exists.
std::optional<std::wstring> ExistingProgramOfCommand(const LauncherVariant& variant, const std::wstring& commandKey) {
  wchar_t command[1024] = {};
  DWORD size = sizeof(command) - sizeof(wchar_t);
  if (RegGetValueW(variant.schemeRoot, commandKey.c_str(), L"", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                   nullptr, command, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  const std::optional<std::wstring> program = ProgramOfCommand(command);
  if (!program) return std::nullopt;
  const DWORD attributes = GetFileAttributesW(program->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
  return program;
}

// A launcher that was moved or renamed leaves a command naming a file that is gone, or one in its
// own folder: it takes the command over. One in another folder that only administrators can change
// is another installation's, which a launcher started here must not take from it.
std::optional<std::wstring> AnotherInstallationsLauncher(const LauncherVariant& variant, const std::wstring& commandKey,
                                                         const std::wstring& launcherPath) {
  const std::optional<std::wstring> program = ExistingProgramOfCommand(variant, commandKey);
  if (!program) return std::nullopt;
  const std::wstring folder = FolderOf(*program);
  const std::wstring ownFolder = FolderOf(launcherPath);
  if (folder.empty() || CompareStringOrdinal(folder.c_str(), -1, ownFolder.c_str(), -1, TRUE) == CSTR_EQUAL) {
    return std::nullopt;
  }
  if (JudgeFolder(folder, AdministratorUser()).trust != FolderTrust::Protected) return std::nullopt;
  return program;
}

}  // namespace

RegistrationResult RegisterOpenCommand(const std::wstring& subKey, StoreOpenCommand store,
                                       const LauncherVariant& variant, const FolderJudgement& folder) {
  const std::optional<std::wstring> scheme = SchemeOfCommandKey(subKey);
  if (!scheme) return {RegistrationOutcome::InvalidScheme};

  wchar_t modulePath[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
  if (length == 0) {
    const DWORD error = GetLastError();
    std::wprintf(L"GetModuleFileName failed w/err 0x%08lx\n", error);
    return {RegistrationOutcome::Failed, static_cast<long>(error)};
  }
  // A path that filled the buffer was cut, and is longer than any command can hold anyway.
  const auto command = OpenCommandText(std::wstring(modulePath, length));
  if (!command) return {RegistrationOutcome::PathTooLong};
  if (!folder.trusted()) {
    RegistrationResult result{RegistrationOutcome::FolderNotTrusted, static_cast<long>(folder.error)};
    result.writer = folder.writer;
    return result;
  }
  if (folder.trust != FolderTrust::NotJudged) {
    const std::wstring commandKey = SchemeKeyPath(variant, *scheme) + L"\\shell\\open\\command";
    if (auto other = AnotherInstallationsLauncher(variant, commandKey, std::wstring(modulePath, length))) {
      RegistrationResult result{RegistrationOutcome::HeldByAnotherLauncher};
      result.otherLauncher = std::move(*other);
      return result;
    }
  }

  portico::RegKey schemeKey;
  DWORD disposition = 0;
  LSTATUS status = RegCreateKeyExW(variant.schemeRoot, SchemeKeyPath(variant, *scheme).c_str(), 0, nullptr, 0,
                                   KEY_ALL_ACCESS, nullptr, schemeKey.put(), &disposition);
  if (status != ERROR_SUCCESS) return {RegistrationOutcome::Failed, status};
  if (disposition == REG_CREATED_NEW_KEY) MarkAsUrlScheme(schemeKey.get(), *scheme);
  portico::RegKey commandKey;
  status = RegCreateKeyExW(schemeKey.get(), L"shell\\open\\command", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           commandKey.put(), nullptr);
  if (status != ERROR_SUCCESS) return {RegistrationOutcome::Failed, status};
  status = store(commandKey.get(), *command);
  if (status != ERROR_SUCCESS) {
    WriteWide(PORTICO_LOG_INFO, L"set reg failure: ");
    return {RegistrationOutcome::Failed, status};
  }
  return {RegistrationOutcome::Written};
}

RegistrationResult WriteRegFun(const std::wstring& subKey) { return WriteRegFun(subKey, kMachineWide); }

RegistrationResult WriteRegFun(const std::wstring& subKey, const LauncherVariant& variant) {
  return RegisterOpenCommand(subKey, StoreDefaultValue, variant);
}

RegistrationResult WriteRegFun(const std::wstring& subKey, const LauncherVariant& variant,
                               const FolderJudgement& folder) {
  return RegisterOpenCommand(subKey, StoreDefaultValue, variant, folder);
}
