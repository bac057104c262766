#include "Scratch.h"

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "WinHandles.h"

namespace fs = std::filesystem;

namespace rig {

fs::path BinaryFolder() {
  std::wstring buffer(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  buffer.resize(n);
  return fs::path(buffer).parent_path();
}

fs::path LauncherUnderTest(const std::wstring& fileName) {
  std::wstring named(32768, L'\0');
  DWORD n = GetEnvironmentVariableW(L"PORTICO_RIG_LAUNCHER", named.data(), static_cast<DWORD>(named.size()));
  if (n == 0 || n >= named.size()) return BinaryFolder() / fileName;
  named.resize(n);
  const fs::path launcher = fileName == L"Portico.exe" ? fs::path(named) : fs::path(named).parent_path() / fileName;
  // A named file that is not there must fail the test, not quietly test the build beside it.
  if (!fs::is_regular_file(named) || !fs::is_regular_file(launcher)) {
    throw std::runtime_error("PORTICO_RIG_LAUNCHER names no file");
  }
  return launcher;
}

std::wstring UniqueName(const std::wstring& prefix) {
  static std::atomic<unsigned> counter{0};
  return prefix + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write test file");
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

namespace {

void RemoveTree(const fs::path& folder) {
  std::error_code ignored;
  // Files a test left read-only would stop remove_all.
  for (auto it = fs::recursive_directory_iterator(folder, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  fs::remove_all(folder, ignored);
}

}  // namespace

bool GrantEveryoneWrite(const fs::path& folder) {
  portico::LocalMem<void> grant;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;WD)",
                                                            SDDL_REVISION_1, grant.put(), nullptr)) {
    return false;
  }
  BOOL present = FALSE, defaulted = FALSE;
  PACL list = nullptr;
  return GetSecurityDescriptorDacl(grant.get(), &present, &list, &defaulted) &&
         SetNamedSecurityInfoW(const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                               nullptr, list, nullptr) == ERROR_SUCCESS;
}

ScratchFolder::ScratchFolder(const std::wstring& leaf, const fs::path& parent) {
  base_ = (parent.empty() ? fs::temp_directory_path() : parent) / UniqueName(L"portico-test-");
  // Wine starts its process ids anew with each server: a run that was killed may have left a folder
  // of this name.
  RemoveTree(base_);
  path_ = base_ / leaf;
  fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() { RemoveTree(base_); }

fs::path ScratchFolder::CopyProgram(const std::wstring& builtName, const std::wstring& asName) const {
  fs::path target = path_ / asName;
  fs::copy_file(BinaryFolder() / builtName, target, fs::copy_options::overwrite_existing);
  return target;
}

ScratchRegistryKey::ScratchRegistryKey(HKEY root, std::wstring subKey) : root_(root), subKey_(std::move(subKey)) {
  portico::RegKey key;
  if (RegCreateKeyExW(root_, subKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS) {
    throw std::runtime_error("cannot create scratch registry key");
  }
}

ScratchRegistryKey::~ScratchRegistryKey() { RegDeleteTreeW(root_, subKey_.c_str()); }

bool ScratchRegistryKey::SetRaw(const std::wstring& name, DWORD type, const void* data, DWORD size) const {
  portico::RegKey key;
  if (RegOpenKeyExW(root_, subKey_.c_str(), 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return false;
  return RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool ScratchRegistryKey::SetString(const std::wstring& name, const std::wstring& value) const {
  return SetRaw(name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace rig
