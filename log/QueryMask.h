#pragma once
// Link queries masked for text at rest: a one-time token in a link must not outlive the launch in a
// log file. Pure text work, so that it also builds natively for sanitizers and fuzzing.

#include <string>

// The mask that stands for a value: one ASCII byte, so that a masked text is never longer than the
// text it came from and reads the same in any code page.
constexpr char kQueryValueMask = '*';

// `line` with every value of its query and fragment replaced by the mask, keys kept:
// "par: \"open?id=7&t=x#s=y\"\n" becomes "par: \"open?id=*&t=*#s=*\"\n".
// - The query begins at the first '?' or '#'; from there to the end of the line, '?', '&' and '#'
//   each begin a segment. A final line feed, and a double quote right before it or at the end, stay.
// - A segment's key is the text before its first '='; the rest is its value. A segment without '='
//   is masked whole, since it may be a bare token. An empty value stays empty.
// The separators are ASCII bytes below 0x40, which never occur inside a code page 936 character, so
// the line can be split byte by byte.
std::string MaskLinkQueries(const std::string& line);
