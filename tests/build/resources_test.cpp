// The shipped executable's resources, read back through the APIs Windows itself uses.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Scratch.h"

namespace {

std::wstring PorticoPath() { return (rig::BinaryFolder() / L"Portico.exe").wstring(); }

struct Module {
  HMODULE handle = LoadLibraryExW(PorticoPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
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

TEST(Resources, ManifestRequestsAdministratorAndDeclaresWindows7To11) {
  Module portico;
  ASSERT_NE(portico.handle, nullptr);
  std::string manifest = ResourceBytes(portico.handle, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  for (const char* os : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                         "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
    EXPECT_NE(manifest.find(os), std::string::npos) << os;
  }
}

TEST(Resources, CarriesAnIconThatLoads) {
  HICON icon = ExtractIconW(nullptr, PorticoPath().c_str(), 0);
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

TEST(Resources, VersionBlockNamesPorticoAndTheProjectVersion) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(PorticoPath().c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(PorticoPath().c_str(), 0, size, block.data()));
  auto query = [&](const wchar_t* key) {
    wchar_t* value = nullptr;
    UINT length = 0;
    std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
    if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) return std::wstring();
    return std::wstring(value);
  };
  EXPECT_EQ(query(L"ProductName"), L"Portico");
  EXPECT_EQ(query(L"ProductVersion"), PORTICO_VERSION);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
}

}  // namespace
