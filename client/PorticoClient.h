#pragma once
// PorticoClient: how a program started by the Portico launcher receives its links, at start and
// from later launches over its hand-off pipe. Copy this header and PorticoClient.cpp into your
// project: they need C++17 and Windows' own DLLs (kernel32, advapi32, shell32), nothing else.
//
//   namespace pc = portico::client;
//   if (auto link = pc::LinkFromCommandLine()) Open(*link);
//   pc::LinkServer server(L"DemoClientPipe", [](const pc::LinkMessage& message) {
//     if (message.link) Open(*message.link);  // on the server's thread
//   });
//   if (server.status() != pc::LinkServerStatus::serving) ...  // e.g. another copy owns the name
//
// All text handed to you is UTF-8. The text functions (ParseLink, PayloadOfMessage) build on any
// platform; the command line and the pipe are Windows only.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace portico::client {

// The longest message the launcher hands off, its NUL included.
constexpr std::size_t kMaxMessageBytes = 10240;

// A link's payload (the text behind "scheme://"), split as path?query#fragment.
// - path: up to the first '?' or '#'; query: between that '?' and the first '#'; fragment: after it.
// - query: items separated by '&'; each "name=value" split at its first '='; an item without '='
//   is a name with an empty value; empty items ("&&", a trailing '&') are skipped; order and
//   repeated names are kept.
// - Every part is percent-decoded after splitting, so "%26" and "%3D" stay inside their item. Only
//   '%' with two hex digits is an escape: "%4", "%zz" and a '%' at the end are kept literally. The
//   decoded bytes are taken as they are ("%FF" gives the byte 0xFF, "%00" a NUL): the result is
//   valid UTF-8 when the link encoded UTF-8. '+' stays '+'.
struct ParsedLink {
  std::string path;
  std::vector<std::pair<std::string, std::string>> query;
  std::string fragment;

  // The value of the first item called `name`, or null.
  const std::string* Find(std::string_view name) const;
};
ParsedLink ParseLink(std::string_view payload);

// The payload bytes of a hand-off message: up to its first NUL (or its end, if it has none), less
// one closing double quote if there is one. The launcher keeps the quote the shell put around the
// link; it is absent when someone ran "Portico.exe scheme://..." without quotes.
std::string_view PayloadOfMessage(std::string_view message);

#if defined(_WIN32)

// The link payload the launcher passed at start, as UTF-8; nothing when there is none. The
// launcher passes a link's payload as the first argument, always in double quotes, and anything
// else (the text of a shortcut, " IsAdmin", extra arguments) unquoted. So a payload is there when
// the first argument after the program name starts with a double quote; it is that argument as
// CommandLineToArgvW splits it ("" gives an empty payload). A start without arguments, or with an
// unquoted first argument, has none. Unpaired surrogates become U+FFFD.
std::optional<std::string> LinkFromCommandLine();
std::optional<std::string> LinkFromCommandLine(const std::wstring& commandLine);

// One message from one writer: everything it wrote between connecting and closing.
struct LinkMessage {
  // The payload as UTF-8 (PayloadOfMessage, from the system's ANSI code page). Absent when the
  // writer sent nothing or more than kMaxMessageBytes: such a message is not a link.
  std::optional<std::string> link;
  std::string raw;              // the bytes as they came, at most the first kMaxMessageBytes
  std::uint64_t size = 0;       // how many bytes the writer sent in all
  std::uint64_t arrivedAt = 0;  // when its first bytes arrived, as a FILETIME; 0 if none came
};

enum class LinkServerStatus {
  serving,
  nameTaken,  // another server (this process or another) owns the pipe name
  badName,    // empty, with '\', '/', ".." or a NUL, or over 247 characters (256 with "\\.\pipe\")
  failed,     // the pipe or its access list could not be made; see error()
};

// Serves \\.\pipe\<name> on a thread of its own and calls `onMessage` there, with each message, one
// at a time: while it runs the next writer waits (the launcher waits 2 seconds), so hand longer
// work to another thread. An exception from `onMessage` is swallowed and serving goes on. Only
// this user, SYSTEM and Administrators may open the pipe, and the server never shares its name:
// if another owns it, status() says so at once and nothing is served. A server that runs elevated
// (high integrity or above) labels its pipe high, so that only elevated writers may write to it.
// A writer still connected 5 seconds after it connected is cut off and what it wrote is dropped
// (onMessage never sees it); the next writer is served. The launcher writes and closes at once.
class LinkServer {
 public:
  LinkServer(const std::wstring& pipeName, std::function<void(const LinkMessage&)> onMessage);
  // Stops serving and returns once the thread has ended, also while a writer is connected; a
  // message not yet finished is not delivered. Never destroy the server from inside onMessage.
  ~LinkServer();
  LinkServer(const LinkServer&) = delete;
  LinkServer& operator=(const LinkServer&) = delete;

  LinkServerStatus status() const;
  unsigned long error() const;  // the Windows error code of a failed start; 0 while serving

 private:
  struct State;
  std::unique_ptr<State> state_;
};

#endif  // _WIN32

}  // namespace portico::client
