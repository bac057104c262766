// The Linux checker's UTF-8 reading held against the launcher's own conversion (MultiByteToWideChar):
// every text of one or two bytes, and every text of up to four bytes drawn from the bytes where
// UTF-8's rules change, at the room's edge too.
#include <gtest/gtest.h>

#include <string>

#include "TextConversion.h"
#include "Utf8ToUtf16.h"

namespace {

// Reports the first few texts read otherwise, not millions.
struct Agreement {
  int failures = 0;

  void ExpectSame(const std::string& text) {
    std::wstring launcher = L"kept";
    std::wstring checker = L"kept";
    const bool launcherRead = Utf8ToWide(text.c_str(), launcher);
    const bool checkerRead = Utf8ToUtf16(text.c_str(), checker);
    if ((launcherRead != checkerRead || launcher != checker) && ++failures <= 10) {
      std::string bytes;
      for (unsigned char c : text) bytes += std::to_string(c) + " ";
      ADD_FAILURE() << "read otherwise: bytes " << bytes;
    }
  }
};

const std::string kTurningBytes = std::string(
    "\x01"
    "a\x7F\x80\x8F\x90\x9F\xA0\xBF\xC0\xC1\xC2\xDF\xE0\xE1\xEC\xED\xEE"
    "\xEF\xF0\xF1\xF3\xF4\xF5\xF7\xF8\xFC\xFE\xFF");

TEST(Utf8Agreement, ShortTextsReadAsTheLauncherReadsThem) {
  Agreement agreement;
  for (int a = 1; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) agreement.ExpectSame(b ? std::string{char(a), char(b)} : std::string{char(a)});
  }
  for (char a : kTurningBytes) {
    for (char b : kTurningBytes) {
      for (char c : kTurningBytes) {
        agreement.ExpectSame({a, b, c});
        for (char d : kTurningBytes) agreement.ExpectSame({a, b, c, d});
      }
    }
  }
  EXPECT_EQ(agreement.failures, 0);
}

TEST(Utf8Agreement, TextsAtTheRoomsEdgeReadAsTheLauncherReadsThem) {
  Agreement agreement;
  for (size_t length = 255; length <= 261; ++length) {
    for (const char* tail : {"", "\xE4", "\xE4\xB8", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\xF0\x9F", "\x80"}) {
      agreement.ExpectSame(std::string(length, 'x') + tail);
    }
  }
  EXPECT_EQ(agreement.failures, 0);
}

}  // namespace
