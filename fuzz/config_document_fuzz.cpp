// ProductConfig.xml loaded by TinyXML2 and read by the settings fill, natively. The conversion is
// a plain UTF-8 reader standing in for the Windows one, with the same answers for absent and empty
// text; the fill must stay within the document, whatever shape it has.
#include <tinyxml2.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ConfigDocument.h"
#include "FuzzCheck.h"
#include "FuzzText.h"

namespace {

bool ToWide(const char* utf8, std::wstring& out) {
  if (!utf8) return false;
  out = fuzz::LooseWide(reinterpret_cast<const uint8_t*>(utf8), std::char_traits<char>::length(utf8));
  return !out.empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tinyxml2::XMLDocument document;
  document.Parse(reinterpret_cast<const char*>(data), size);

  ProductConfig config;
  std::vector<LaunchArgument> arguments;
  const bool filled = FillSettings(document, ToWide, config, arguments);
  FUZZ_CHECK(filled == (document.RootElement() != nullptr));
  if (!filled) FUZZ_CHECK(arguments.empty() && config.ProgName.empty() && config.Pipe.empty());
  for (const LaunchArgument& argument : arguments) FUZZ_CHECK(!argument.empty());

  for (const char* name : {"ProgName", "Protocol", "Pipe", "shortcut_cn"}) {
    if (const char* text = FirstRootChildText(document, name)) {
      // The text stays readable: the document still owns it.
      FUZZ_CHECK(std::char_traits<char>::length(text) <= size);
    }
  }
  return 0;
}
