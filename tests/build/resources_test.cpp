// The shipped launchers' resources, read back through the APIs Windows itself uses.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Scratch.h"

namespace {

// Each launcher with the rights its manifest asks for and the name its version block gives.
struct LauncherCase {
  const char* name;
  const wchar_t* file;
  const char* executionLevel;
  const wchar_t* internalName;
};
const LauncherCase kLaunchers[] = {
    {"MachineWide", L"Portico.exe", "requireAdministrator", L"Portico"},
    {"PerUser", L"PorticoUser.exe", "asInvoker", L"PorticoUser"},
};

class Resources : public testing::TestWithParam<LauncherCase> {
 protected:
  std::wstring LauncherPath() const { return (rig::BinaryFolder() / GetParam().file).wstring(); }
};
INSTANTIATE_TEST_SUITE_P(Launchers, Resources, testing::ValuesIn(kLaunchers),
                         [](const testing::TestParamInfo<LauncherCase>& info) { return std::string(info.param.name); });

struct Module {
  explicit Module(const std::wstring& path) : handle(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  HMODULE handle;
  ~Module() {
    if (handle) FreeLibrary(handle);
  }
};

std::string ResourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type) {
  HRSRC info = FindResourceW(module, name, type);
  if (!info) return {};
  HGLOBAL loaded = LoadResource(module, info);
  const char* data = static_cast<const char*>(LockResource(loaded));
  return data ? std::string(data, SizeofResource(module, info)) : std::string();
}

TEST_P(Resources, ManifestRequestsItsExecutionLevelAndDeclaresWindows7To11) {
  Module portico(LauncherPath());
  ASSERT_NE(portico.handle, nullptr);
  std::string manifest = ResourceBytes(portico.handle, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("level=\"" + std::string(GetParam().executionLevel) + "\""), std::string::npos) << manifest;
  // A launcher asks for one level only.
  EXPECT_EQ(manifest.find("requestedExecutionLevel"), manifest.rfind("requestedExecutionLevel"));
  for (const char* os : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                         "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
    EXPECT_NE(manifest.find(os), std::string::npos) << os;
  }
}

TEST_P(Resources, CarriesAnIconThatLoads) {
  HICON icon = ExtractIconW(nullptr, LauncherPath().c_str(), 0);
  ASSERT_NE(icon, nullptr);
  ASSERT_NE(icon, reinterpret_cast<HICON>(1));
  ICONINFO info{};
  EXPECT_TRUE(GetIconInfo(icon, &info));
  BITMAP bitmap{};
  GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
  EXPECT_EQ(bitmap.bmWidth, GetSystemMetrics(SM_CXICON));
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(icon);
}

TEST_P(Resources, VersionBlockNamesPorticoTheFileAndTheProjectVersion) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(LauncherPath().c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(LauncherPath().c_str(), 0, size, block.data()));
  auto query = [&](const wchar_t* key) {
    wchar_t* value = nullptr;
    UINT length = 0;
    std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
    if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) return std::wstring();
    return std::wstring(value);
  };
  EXPECT_EQ(query(L"ProductName"), L"Portico");
  EXPECT_EQ(query(L"ProductVersion"), PORTICO_VERSION);
  EXPECT_EQ(query(L"InternalName"), GetParam().internalName);
  EXPECT_EQ(query(L"OriginalFilename"), GetParam().file);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
}

}  // namespace
