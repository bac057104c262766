#include "AsciiText.h"

namespace {

template <typename Char>
std::basic_string<Char> Lowered(std::basic_string_view<Char> text) {
  std::basic_string<Char> lower(text);
  for (Char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<Char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace

std::string AsciiLower(std::string_view text) { return Lowered(text); }
std::wstring AsciiLower(std::wstring_view text) { return Lowered(text); }
