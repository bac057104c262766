#include "StrictJson.h"

#include <cstdint>

namespace {

class Parser {
 public:
  Parser(std::string_view text, const JsonLimits& limits) : text_(text), limits_(limits) {}

  std::optional<JsonValue> Document(std::string* error) {
    JsonValue value;
    if (text_.size() > limits_.maxDocument) {
      Fail("document larger than " + std::to_string(limits_.maxDocument) + " bytes");
    } else {
      SkipSpace();
      if (Value(value, 0)) {
        SkipSpace();
        if (pos_ != text_.size()) Fail("text after the value");
      }
    }
    if (failure_.empty()) return value;
    if (error) *error = failure_ + " at byte " + std::to_string(pos_);
    return std::nullopt;
  }

 private:
  bool Fail(const std::string& why) {
    if (failure_.empty()) failure_ = why;
    return false;
  }

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

  void SkipSpace() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++pos_;
  }

  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return Fail("unknown literal");
    pos_ += word.size();
    return true;
  }

  bool Value(JsonValue& value, int depth) {
    if (depth >= limits_.maxDepth) return Fail("nested deeper than " + std::to_string(limits_.maxDepth));
    switch (Peek()) {
      case '{':
        value.kind = JsonValue::Kind::Object;
        return Object(value, depth);
      case '[':
        value.kind = JsonValue::Kind::Array;
        return Array(value, depth);
      case '"':
        value.kind = JsonValue::Kind::String;
        return String(value.text);
      case 't':
        value.kind = JsonValue::Kind::Bool;
        value.boolean = true;
        return Literal("true");
      case 'f':
        value.kind = JsonValue::Kind::Bool;
        return Literal("false");
      case 'n':
        value.kind = JsonValue::Kind::Null;
        return Literal("null");
      default:
        value.kind = JsonValue::Kind::Number;
        return Number(value.text);
    }
  }

  bool Object(JsonValue& value, int depth) {
    ++pos_;
    SkipSpace();
    if (Peek() == '}') {
      ++pos_;
      return true;
    }
    for (;;) {
      SkipSpace();
      if (Peek() != '"') return Fail("expected a key");
      std::string key;
      if (!String(key)) return false;
      if (value.Member(key)) return Fail("duplicate key \"" + key + "\"");
      SkipSpace();
      if (Peek() != ':') return Fail("expected ':'");
      ++pos_;
      SkipSpace();
      value.members.emplace_back(std::move(key), JsonValue());
      if (!Value(value.members.back().second, depth + 1)) return false;
      SkipSpace();
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      if (Peek() == '}') {
        ++pos_;
        return true;
      }
      return Fail("expected ',' or '}'");
    }
  }

  bool Array(JsonValue& value, int depth) {
    ++pos_;
    SkipSpace();
    if (Peek() == ']') {
      ++pos_;
      return true;
    }
    for (;;) {
      SkipSpace();
      value.items.emplace_back();
      if (!Value(value.items.back(), depth + 1)) return false;
      SkipSpace();
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      if (Peek() == ']') {
        ++pos_;
        return true;
      }
      return Fail("expected ',' or ']'");
    }
  }

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  bool Number(std::string& literal) {
    const size_t start = pos_;
    if (Peek() == '-') ++pos_;
    if (Peek() == '0') {
      ++pos_;
    } else if (IsDigit(Peek())) {
      while (IsDigit(Peek())) ++pos_;
    } else {
      return Fail("expected a value");
    }
    if (Peek() == '.') {
      ++pos_;
      if (!IsDigit(Peek())) return Fail("expected a digit after '.'");
      while (IsDigit(Peek())) ++pos_;
    }
    if (Peek() == 'e' || Peek() == 'E') {
      ++pos_;
      if (Peek() == '+' || Peek() == '-') ++pos_;
      if (!IsDigit(Peek())) return Fail("expected a digit in the exponent");
      while (IsDigit(Peek())) ++pos_;
    }
    if (pos_ - start > limits_.maxNumber) return Fail("number longer than " + std::to_string(limits_.maxNumber));
    literal.assign(text_.substr(start, pos_ - start));
    return true;
  }

  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  bool Hex4(uint32_t& unit) {
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = HexDigit(Peek());
      if (digit < 0) return Fail("expected four hexadecimal digits after \\u");
      unit = unit * 16 + static_cast<uint32_t>(digit);
      ++pos_;
    }
    return true;
  }

  static void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  bool Escape(std::string& out) {
    ++pos_;  // the backslash
    const char c = Peek();
    ++pos_;
    switch (c) {
      case '"':
        out += '"';
        return true;
      case '\\':
        out += '\\';
        return true;
      case '/':
        out += '/';
        return true;
      case 'b':
        out += '\b';
        return true;
      case 'f':
        out += '\f';
        return true;
      case 'n':
        out += '\n';
        return true;
      case 'r':
        out += '\r';
        return true;
      case 't':
        out += '\t';
        return true;
      case 'u':
        break;
      default:
        --pos_;
        return Fail("unknown escape");
    }
    uint32_t unit = 0;
    if (!Hex4(unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return Fail("low surrogate without a high one");
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (text_.substr(pos_, 2) != "\\u") return Fail("high surrogate without a low one");
      pos_ += 2;
      uint32_t low = 0;
      if (!Hex4(low)) return false;
      if (low < 0xDC00 || low > 0xDFFF) return Fail("high surrogate without a low one");
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(out, unit);
    return true;
  }

  // One UTF-8 sequence copied as is: no overlong forms, no surrogates, nothing above U+10FFFF.
  bool Utf8Sequence(std::string& out) {
    const auto byte = [this](size_t i) { return static_cast<unsigned char>(text_[pos_ + i]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    uint32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      cp = lead & 0x07;
    } else {
      return Fail("invalid UTF-8");
    }
    if (text_.size() - pos_ < length) return Fail("invalid UTF-8");
    for (size_t i = 1; i < length; ++i) {
      if ((byte(i) & 0xC0) != 0x80) return Fail("invalid UTF-8");
      cp = (cp << 6) | (byte(i) & 0x3F);
    }
    static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return Fail("invalid UTF-8");
    out.append(text_.substr(pos_, length));
    pos_ += length;
    return true;
  }

  bool String(std::string& out) {
    ++pos_;  // the opening quote
    for (;;) {
      if (out.size() > limits_.maxString) return Fail("string longer than " + std::to_string(limits_.maxString));
      if (AtEnd()) return Fail("unterminated string");
      const unsigned char c = static_cast<unsigned char>(Peek());
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c < 0x20) return Fail("control character in a string");
      if (c == '\\') {
        if (!Escape(out)) return false;
      } else if (c < 0x80) {
        out += static_cast<char>(c);
        ++pos_;
      } else if (!Utf8Sequence(out)) {
        return false;
      }
    }
  }

  std::string_view text_;
  const JsonLimits& limits_;
  size_t pos_ = 0;
  std::string failure_;
};

}  // namespace

const JsonValue* JsonValue::Member(std::string_view key) const {
  for (const auto& member : members) {
    if (member.first == key) return &member.second;
  }
  return nullptr;
}

std::optional<JsonValue> ParseJson(std::string_view text, const JsonLimits& limits, std::string* error) {
  return Parser(text, limits).Document(error);
}

std::optional<unsigned long long> JsonWholeNumber(const JsonValue& value, unsigned long long max) {
  if (value.kind != JsonValue::Kind::Number || value.text.empty()) return std::nullopt;
  unsigned long long number = 0;
  for (const char c : value.text) {
    if (c < '0' || c > '9') return std::nullopt;
    const unsigned digit = static_cast<unsigned>(c - '0');
    if (digit > max || number > (max - digit) / 10) return std::nullopt;
    number = number * 10 + digit;
  }
  return number;
}

std::string JsonQuote(std::string_view utf8) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : utf8) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}
