// B9: the client updater's download of one package, timed from inside the process.
//   BenchDownload trust-ca CA.der                      trusts a CA for this Wine prefix (the machine's ROOT store)
//   BenchDownload fetch FEED KEY PRODUCT FOLDER STATE [STOP_AT_PERCENT]
// `fetch` checks the feed, then downloads the package it offers into FOLDER\temp and prints
// "<transfer us> <total us> <status>": the transfer ends with the last byte's arrival, the total with
// the package placed (its SHA-256 and signature checked). With STOP_AT_PERCENT the download is
// cancelled once that share has arrived, and the part stays for a resume.
#include <windows.h>

#include <wincrypt.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "PorticoUpdater.h"

namespace {

namespace pc = portico::client;

int64_t Microseconds() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return now.QuadPart * 1000000 / frequency.QuadPart;
}

std::string Narrow(const wchar_t* text) {
  std::string narrow;
  for (; *text; ++text) narrow.push_back(static_cast<char>(*text));
  return narrow;
}

int TrustCa(const wchar_t* path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<BYTE> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (der.empty() || !CertAddEncodedCertificateToSystemStoreW(L"ROOT", der.data(), static_cast<DWORD>(der.size()))) {
    std::fprintf(stderr, "cannot trust the CA: error %lu\n", GetLastError());
    return 1;
  }
  return 0;
}

int Fetch(int argc, wchar_t** argv) {
  pc::UpdaterSettings settings;
  settings.feedUrl = argv[2];
  settings.publicKey = Narrow(argv[3]);
  settings.product = Narrow(argv[4]);
  settings.installedVersion = "1.0.0";
  settings.installationFolder = argv[5];
  settings.stateFolder = argv[6];
  const int stopAt = argc > 7 ? _wtoi(argv[7]) : 0;
  pc::Updater updater(settings);
  const pc::UpdateCheck check = updater.Check();
  if (check.status != pc::UpdateCheckStatus::available) {
    std::fprintf(stderr, "no update offered: %s\n", check.detail.c_str());
    return 1;
  }
  std::atomic<bool> cancel(false);
  int64_t lastByte = 0;
  const int64_t begin = Microseconds();
  const pc::DownloadResult result = updater.Download(
      [&](std::uint64_t done, std::uint64_t total) {
        if (done == total) lastByte = Microseconds();
        if (stopAt > 0 && done * 100 >= total * static_cast<std::uint64_t>(stopAt)) cancel = true;
      },
      &cancel);
  const int64_t end = Microseconds();
  std::printf("%lld %lld %d\n", static_cast<long long>((lastByte ? lastByte : end) - begin),
              static_cast<long long>(end - begin), static_cast<int>(result.status));
  if (result.status != pc::DownloadStatus::placed && result.status != pc::DownloadStatus::cancelled) {
    std::fprintf(stderr, "download failed: %s\n", result.detail.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && wcscmp(argv[1], L"trust-ca") == 0) return TrustCa(argv[2]);
  if (argc >= 7 && wcscmp(argv[1], L"fetch") == 0) return Fetch(argc, argv);
  std::fprintf(stderr,
               "usage: BenchDownload trust-ca CA.der | fetch FEED KEY PRODUCT FOLDER STATE [STOP_AT_PERCENT]\n");
  return 2;
}
