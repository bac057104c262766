// The driver's text: the command line with its "forcerun:" prefix, the scheme, the link payload
// quoted into the target's parameters, the admin hint and the extra arguments. Input lines: the
// command line, the scheme, a flag line ("a" adds the admin hint), then one extra argument a line.
// Whatever the link holds, the target's parser must see the payload as exactly one argument.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzText.h"
#include "LaunchText.h"

namespace {

// The arguments a Windows command-line parser (CommandLineToArgvW, the C runtime) makes of text that
// follows the program name.
std::vector<std::wstring> ParseArguments(const std::wstring& text) {
  std::vector<std::wstring> arguments;
  std::wstring current;
  bool started = false;
  bool quoted = false;
  size_t i = 0;
  while (i < text.size()) {
    const wchar_t c = text[i];
    if (c == L'\\') {
      size_t backslashes = 0;
      while (i < text.size() && text[i] == L'\\') {
        ++backslashes;
        ++i;
      }
      started = true;
      if (i < text.size() && text[i] == L'"') {
        current.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 1) {
          current += L'"';
          ++i;
        }
      } else {
        current.append(backslashes, L'\\');
      }
      continue;
    }
    if (c == L'"') {
      started = true;
      if (quoted && i + 1 < text.size() && text[i + 1] == L'"') {
        current += L'"';
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
      continue;
    }
    if (!quoted && (c == L' ' || c == L'\t')) {
      if (started) arguments.push_back(current);
      current.clear();
      started = false;
      ++i;
      continue;
    }
    current += c;
    started = true;
    ++i;
  }
  if (started) arguments.push_back(current);
  return arguments;
}

// What the target is meant to receive: the payload without one closing quote, other quotes as %22.
std::wstring ExpectedArgument(std::wstring payload) {
  if (!payload.empty() && payload.back() == L'"') payload.pop_back();
  std::wstring expected;
  for (wchar_t c : payload) {
    if (c == L'"') {
      expected += L"%22";
    } else {
      expected += c;
    }
  }
  return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> lines = fuzz::Lines(data, size);
  const std::wstring commandLine = fuzz::LooseWide(lines[0]);
  const std::wstring scheme = lines.size() > 1 ? fuzz::LooseWide(lines[1]) : L"demo";
  const bool adminHint = lines.size() > 2 && lines[2] == "a";
  std::vector<std::wstring> extraArguments;
  for (size_t i = 3; i < lines.size(); ++i) extraArguments.push_back(fuzz::LooseWide(lines[i]));

  const LaunchRequest request = SplitForceRun(commandLine);
  const std::wstring prefix = L"forcerun:";
  FUZZ_CHECK(request.forceRun == (commandLine.compare(0, prefix.size(), prefix) == 0));
  FUZZ_CHECK(request.text == (request.forceRun ? commandLine.substr(prefix.size()) : commandLine));

  // Schemes ignore ASCII case; the payload keeps the text's own.
  const auto asciiLower = [](std::wstring text) {
    for (wchar_t& c : text) {
      if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + (L'a' - L'A'));
    }
    return text;
  };
  const size_t at = asciiLower(request.text).find(asciiLower(scheme));
  const LinkPayload link = FindLinkPayload(request.text, scheme);
  FUZZ_CHECK(link.found == (at != std::wstring::npos));
  if (!link.found) return 0;
  const size_t start = at + scheme.size() + 3;
  FUZZ_CHECK(link.payload == (start < request.text.size() ? request.text.substr(start) : std::wstring()));

  const std::wstring quoted = QuotePayload(link.payload);
  const std::vector<std::wstring> alone = ParseArguments(quoted);
  FUZZ_CHECK(alone.size() == 1);
  FUZZ_CHECK(alone[0] == ExpectedArgument(link.payload));

  std::wstring parameters = quoted;
  if (adminHint) AppendAdminHint(parameters);
  AppendLaunchArguments(parameters, extraArguments);
  FUZZ_CHECK(parameters.compare(0, quoted.size(), quoted) == 0);
  for (const std::wstring& name : extraArguments) FUZZ_CHECK(parameters.find(name) != std::wstring::npos);
  // Whatever follows, the payload stays the first argument, whole.
  const std::vector<std::wstring> all = ParseArguments(parameters);
  FUZZ_CHECK(!all.empty() && all[0] == alone[0]);

  const std::wstring shortName = ShortName(scheme);
  FUZZ_CHECK(shortName.size() == (scheme.size() < 4 ? scheme.size() : scheme.size() - 4));
  if (const auto icon = IconPathFor(link.payload, shortName)) FUZZ_CHECK(icon->size() <= 259);
  if (IsSafePipeName(link.payload)) {
    FUZZ_CHECK(link.payload.find_first_of(L"\\/") == std::wstring::npos);
    FUZZ_CHECK(link.payload.find(L"..") == std::wstring::npos);
  }
  return 0;
}
