#pragma once
// JSON read strictly and within bounds, for documents that come from a server: RFC 8259 syntax with
// nothing extra (no comments, no trailing commas), valid UTF-8 only, no duplicate keys, no lone
// surrogates, and limits on depth and on the length of each string and number, so that no input can
// exhaust the stack or the memory before it is refused.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::string text;  // a string's decoded UTF-8, or a number's literal as written
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;  // in document order, keys unique

  const JsonValue* Member(std::string_view key) const;
};

struct JsonLimits {
  size_t maxDocument = 4u << 20;
  int maxDepth = 32;
  size_t maxString = 64u << 10;  // bytes after decoding
  size_t maxNumber = 64;         // characters of the literal
};

// The value, or nothing with `error` (when given) saying where and why.
std::optional<JsonValue> ParseJson(std::string_view text, const JsonLimits& limits, std::string* error);

// The literal as a whole number within [0, max]: digits only, no sign, fraction or exponent.
std::optional<unsigned long long> JsonWholeNumber(const JsonValue& value, unsigned long long max);

// A string as a JSON literal in quotes: '"', '\' and control characters escaped, the rest as is.
std::string JsonQuote(std::string_view utf8);
