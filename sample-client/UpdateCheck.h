#pragma once
// SampleClient's "check for updates": the client updater looks at the feed and, when it offers an
// update, places it in temp for the launcher's next start. Every step goes to the record.

#include <functional>
#include <string>

struct UpdateCheckSettings {
  std::wstring feedUrl;  // no check without it
  bool allowPlainHttp = false;
  std::string channel = "stable";
  std::string publicKey;  // the minisign public key line the launcher trusts
  std::string product;    // the launcher's Protocol
  std::string installedVersion;
  std::wstring stateFolder;  // empty: %LOCALAPPDATA%\<product>
};

// Blocks until the check, and the download it may start, are over.
void CheckForUpdates(const UpdateCheckSettings& settings, const std::wstring& installationFolder,
                     const std::function<void(const std::string&)>& record);
