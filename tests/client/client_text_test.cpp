// The client library's text: a link payload split and percent-decoded, and the payload of a
// hand-off message. Pure, so it also runs natively under the sanitizers.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "PorticoClient.h"

namespace {

using portico::client::ParsedLink;
using Query = std::vector<std::pair<std::string, std::string>>;

TEST(ClientText, LinksSplitIntoDecodedPathQueryAndFragment) {
  struct Case {
    std::string payload;
    std::string path;
    Query query;
    std::string fragment;
  } cases[] = {
      {"open?id=7", "open", {{"id", "7"}}, ""},
      {"open", "open", {}, ""},
      {"", "", {}, ""},
      {"a/b?x=1&y=&z&&x=2&", "a/b", {{"x", "1"}, {"y", ""}, {"z", ""}, {"x", "2"}}, ""},
      {"p?q=a=b&=v", "p", {{"q", "a=b"}, {"", "v"}}, ""},
      {"p#frag?x=1", "p", {}, "frag?x=1"},
      {"p?x=1#f%20g", "p", {{"x", "1"}}, "f g"},
      // Split first, decoded after: escaped separators stay inside their part.
      {"p%3Fq?k%3Dx=v%26w%23", "p?q", {{"k=x", "v&w#"}}, ""},
      {"caf%C3%A9?name=M%c3%bcller&sp=a+b%20c", "caf\xC3\xA9", {{"name", "M\xC3\xBCller"}, {"sp", "a+b c"}}, ""},
      // What the launcher made of a raw quote in the link.
      {"open?q=%22x%22", "open", {{"q", "\"x\""}}, ""},
  };
  for (const Case& c : cases) {
    const ParsedLink link = portico::client::ParseLink(c.payload);
    EXPECT_EQ(link.path, c.path) << c.payload;
    EXPECT_EQ(link.query, c.query) << c.payload;
    EXPECT_EQ(link.fragment, c.fragment) << c.payload;
  }
  const ParsedLink repeated = portico::client::ParseLink("p?x=1&y=2&x=3");
  ASSERT_NE(repeated.Find("x"), nullptr);
  EXPECT_EQ(*repeated.Find("x"), "1");
  EXPECT_EQ(repeated.Find("z"), nullptr);
}

TEST(ClientText, MalformedEscapesStayLiteralAndDecodedBytesStayAsTheyAre) {
  const std::pair<std::string, std::string> cases[] = {
      {"%", "%"},       {"a%", "a%"},   {"%4", "%4"},   {"a%4", "a%4"},  {"%zz", "%zz"},
      {"%4g", "%4g"},   {"%g4", "%g4"}, {"%%41", "%A"}, {"%FF", "\xFF"}, {"%00", std::string(1, '\0')},
      {"100%", "100%"}, {"%2", "%2"},   {"%%", "%%"},
  };
  for (const auto& [text, decoded] : cases) {
    EXPECT_EQ(portico::client::ParseLink(text).path, decoded) << text;
    EXPECT_EQ(portico::client::ParseLink("p?k=" + text).query, (Query{{"k", decoded}})) << text;
  }
}

TEST(ClientText, PayloadOfMessageEndsAtTheNulWithoutOneClosingQuote) {
  const std::pair<std::string, std::string> cases[] = {
      {std::string("open?id=7\"\0", 11), "open?id=7"},
      {std::string("open?id=7\0", 10), "open?id=7"},  // typed by hand, without quotes
      {std::string("a\"\"\0", 4), "a\""},
      {std::string("\"\0", 2), ""},
      {std::string(1, '\0'), ""},
      {"", ""},
      {"abc\"", "abc"},  // no NUL at all
      {std::string("ab\0cd\"\0", 7), "ab"},
      {std::string("\xB1\xB1\"\0", 4), "\xB1\xB1"},
  };
  for (const auto& [message, payload] : cases) {
    EXPECT_EQ(portico::client::PayloadOfMessage(message), payload);
  }
}

}  // namespace
