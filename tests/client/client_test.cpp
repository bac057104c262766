// The client library under Wine: the link at start, from command lines the launcher makes, and the
// pipe server with the quirks of the hand-off, its refusals, its access list and its stop.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <regex>
#include <stdexcept>

#include "DialogHelper.h"
#include "Installation.h"
#include "PorticoClient.h"
#include "WinHandles.h"

namespace {

namespace pc = portico::client;
using pc::LinkServerStatus;

// Collects what a server delivers, for the test thread to wait on.
class Inbox {
 public:
  std::function<void(const pc::LinkMessage&)> Handler() {
    return [this](const pc::LinkMessage& message) {
      std::lock_guard<std::mutex> lock(mutex_);
      messages_.push_back(message);
      arrived_.notify_all();
    };
  }
  // The first `count` messages, or fewer once 15 s have passed.
  std::vector<pc::LinkMessage> Wait(size_t count, DWORD timeoutMs = 15000) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return messages_.size() >= count; });
    return messages_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<pc::LinkMessage> messages_;
};

std::wstring PathOf(const std::wstring& pipe) { return L"\\\\.\\pipe\\" + pipe; }

// Opens the pipe as the launcher does: a pipe busy with the writer before gets one wait.
portico::PipeHandle Connect(const std::wstring& pipe) {
  auto open = [&] {
    return portico::PipeHandle(CreateFileW(PathOf(pipe).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  portico::PipeHandle client = open();
  if (!client && GetLastError() == ERROR_PIPE_BUSY && WaitNamedPipeW(PathOf(pipe).c_str(), 2000)) client = open();
  return client;
}

bool Write(const portico::PipeHandle& pipe, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(pipe.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

void Send(const std::wstring& pipe, const std::string& bytes) {
  portico::PipeHandle client = Connect(pipe);
  ASSERT_TRUE(client) << GetLastError();
  if (!bytes.empty()) {
    ASSERT_TRUE(Write(client, bytes));
  }
}

TEST(LinkFromCommandLine, OnlyAQuotedFirstArgumentIsAPayload) {
  const std::pair<std::wstring, std::optional<std::string>> cases[] = {
      {L"\"C:\\Demo Client\\Demo.exe\" \"open?id=7\" IsAdmin --from-launcher", "open?id=7"},
      {L"C:\\Demo\\Demo.exe  \t\"a b\"", "a b"},
      {L"\"C:\\Demo\\Demo.exe\"\"joined\"", "joined"},
      {L"\"C:\\Demo\\Demo.exe\" \"\"", ""},
      {L"\"C:\\Demo\\Demo.exe\" \"path\\\\\"", "path\\"},
      {L"\"C:\\Demo\\Demo.exe\" \"unclosed", "unclosed"},
      {std::wstring(L"\"C:\\Demo\\Demo.exe\" \"a") + L'\0' + L"b\"", "a"},
      // Shortcut text, the admin hint and extra arguments are never quoted by the launcher.
      {L"\"C:\\Demo\\Demo.exe\"   ", std::nullopt},
      {L"\"C:\\Demo\\Demo.exe\" IsAdmin", std::nullopt},
      {L"\"C:\\Demo\\Demo.exe\" -x \"a b\"", std::nullopt},
      {L"\"C:\\Demo\\Demo.exe", std::nullopt},
      {L"", std::nullopt},
  };
  for (const auto& [commandLine, payload] : cases) {
    EXPECT_EQ(pc::LinkFromCommandLine(commandLine), payload) << rig::ToUtf8(commandLine);
  }
}

// The command lines the real launcher gives the target it starts.
TEST(LinkFromCommandLine, ReadsWhatThePorticoLauncherPasses) {
  rig::Installation install;
  install.WriteConfig("<Args><Item Name=\"--late\" Value=\"true\"/></Args>");
  const std::pair<std::wstring, std::optional<std::string>> cases[] = {
      {L"\"" + install.scheme() + L"://open?id=7&name=caf\u00e9\"", "open?id=7&name=caf\xC3\xA9"},
      {L"\"" + install.scheme() + L"://x\" IsAdmin \"y\"", "x%22 IsAdmin %22y"},
      {L"-x \"a b\"", std::nullopt},
  };
  size_t starts = 0;
  for (const auto& [commandLine, payload] : cases) {
    EXPECT_EQ(install.RunLauncher(commandLine).exitCode, 0u);
    ASSERT_TRUE(install.WaitForStarts(++starts));
    const std::string received = install.Record().starts.back().commandLine;
    EXPECT_EQ(pc::LinkFromCommandLine(rig::FromUtf8(received)), payload) << received;
    install.EndClients();
  }
}

TEST(LinkServer, MessagesArriveWithoutTheNulAndOneClosingQuote) {
  ASSERT_EQ(GetACP(), 1252u) << "the test runs under the wrong locale";
  const std::wstring name = rig::UniqueName(L"ClientPipe");
  Inbox inbox;
  auto collect = inbox.Handler();
  // A handler that throws each time does not stop the serving.
  pc::LinkServer server(name, [&](const pc::LinkMessage& message) {
    collect(message);
    throw std::runtime_error("the handler's own failure");
  });
  ASSERT_EQ(server.status(), LinkServerStatus::serving);
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {std::string("open?id=7\"\0", 11), "open?id=7"},
      {std::string("open?id=7\0", 10), "open?id=7"},  // Portico.exe run by hand, without quotes
      {std::string(1, '\0'), ""},
      {"", std::nullopt},  // connected and closed without a word
      {std::string("caf\xE9\"\0", 6), "caf\xC3\xA9"},
      {std::string("a\0b\"", 4), "a"},
  };
  for (const auto& c : cases) Send(name, c.first);
  const std::vector<pc::LinkMessage> messages = inbox.Wait(std::size(cases));
  ASSERT_EQ(messages.size(), std::size(cases));
  for (size_t i = 0; i < messages.size(); ++i) {
    EXPECT_EQ(messages[i].link, cases[i].second) << i;
    EXPECT_EQ(messages[i].raw, cases[i].first) << i;
    EXPECT_EQ(messages[i].size, cases[i].first.size()) << i;
    EXPECT_EQ(messages[i].arrivedAt != 0, !cases[i].first.empty()) << i;
  }
}

TEST(LinkServer, AnsiBytesUnderCodePage936ArriveAsUtf8) {
  ASSERT_EQ(GetACP(), 936u) << "the test runs under the wrong locale";
  const std::wstring name = rig::UniqueName(L"ClientPipe");
  Inbox inbox;
  pc::LinkServer server(name, inbox.Handler());
  Send(name, std::string("open?city=\xB1\xB1\xBE\xA9\"\0", 16));  // 北京 in GBK, then the quote
  ASSERT_EQ(inbox.Wait(1).size(), 1u);
  EXPECT_EQ(inbox.Wait(1)[0].link, "open?city=\xE5\x8C\x97\xE4\xBA\xAC");
}

TEST(LinkServer, ANameAnotherServerOwnsIsRefused) {
  rig::Installation install;
  install.StartClient(L"normal", true);  // SampleClient serves the installation's pipe
  EXPECT_EQ(pc::LinkServer(install.pipe(), [](const pc::LinkMessage&) {}).status(), LinkServerStatus::nameTaken);
  // A server of another make, which would take further instances.
  const std::wstring shared = rig::UniqueName(L"ClientPipe");
  portico::PipeHandle other(CreateNamedPipeW(PathOf(shared).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
                                             PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr));
  ASSERT_TRUE(other);
  pc::LinkServer refused(shared, [](const pc::LinkMessage&) {});
  EXPECT_EQ(refused.status(), LinkServerStatus::nameTaken);
  EXPECT_EQ(refused.error(), static_cast<unsigned long>(ERROR_ACCESS_DENIED));
  // The owner serves on.
  Send(install.pipe(), std::string("still\0", 6));
  EXPECT_TRUE(install.WaitForMessages(1));
}

TEST(LinkServer, NamesTheLauncherNeverOpensAreRefused) {
  const std::wstring unique = rig::UniqueName(L"ClientPipe");
  const std::wstring longest = unique + std::wstring(247 - unique.size(), L'n');
  for (const std::wstring& bad : {std::wstring(), std::wstring(L"a\\b"), std::wstring(L"a/b"), std::wstring(L".."),
                                  std::wstring(L"a\0b", 3), longest + L"n"}) {
    EXPECT_EQ(pc::LinkServer(bad, [](const pc::LinkMessage&) {}).status(), LinkServerStatus::badName)
        << rig::ToUtf8(bad);
  }
  EXPECT_EQ(pc::LinkServer(longest, [](const pc::LinkMessage&) {}).status(), LinkServerStatus::serving);
}

// The part `what` of the security descriptor of a pipe a new server serves (LocalFree it), or null.
PSECURITY_DESCRIPTOR SecurityOfANewServersPipe(SECURITY_INFORMATION what) {
  const std::wstring name = rig::UniqueName(L"ClientPipe");
  pc::LinkServer server(name, [](const pc::LinkMessage&) {});
  portico::PipeHandle client(
      CreateFileW(PathOf(name).c_str(), READ_CONTROL, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!client || GetSecurityInfo(client.get(), SE_KERNEL_OBJECT, what, nullptr, nullptr, nullptr, nullptr,
                                 &descriptor) != ERROR_SUCCESS) {
    return nullptr;
  }
  return descriptor;
}

// What GetTokenInformation gives for this process.
std::vector<unsigned char> OwnToken(TOKEN_INFORMATION_CLASS what) {
  portico::KernelHandle token;
  std::vector<unsigned char> information(512);
  DWORD size = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
      !GetTokenInformation(token.get(), what, information.data(), static_cast<DWORD>(information.size()), &size)) {
    information.clear();
  }
  return information;
}

TEST(LinkServer, OnlyThisUserSystemAndAdministratorsMayOpenThePipe) {
  const PSECURITY_DESCRIPTOR descriptor = SecurityOfANewServersPipe(DACL_SECURITY_INFORMATION);
  ASSERT_TRUE(descriptor);
  wchar_t* dacl = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                   DACL_SECURITY_INFORMATION, &dacl, nullptr));
  const std::wstring text = dacl;
  LocalFree(dacl);
  LocalFree(descriptor);
  const std::vector<unsigned char> user = OwnToken(TokenUser);
  ASSERT_FALSE(user.empty());
  wchar_t* userSid = nullptr;
  ASSERT_TRUE(ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, &userSid));
  // Protected, and three entries that allow, whatever rights they spell.
  EXPECT_EQ(std::regex_replace(text, std::wregex(L"\\(A;;[^;]*;"), L"(A;;*;"),
            L"D:P(A;;*;;;SY)(A;;*;;;BA)(A;;*;;;" + std::wstring(userSid) + L")");
  LocalFree(userSid);
}

TEST(LinkServer, AnElevatedServerLabelsItsPipeHighIntegrity) {
  // Wine runs every process elevated, at high integrity (which it does not enforce).
  const std::vector<unsigned char> level = OwnToken(TokenIntegrityLevel);
  ASSERT_FALSE(level.empty());
  const PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(level.data())->Label.Sid;
  ASSERT_EQ(*GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1),
            static_cast<DWORD>(SECURITY_MANDATORY_HIGH_RID));

  const PSECURITY_DESCRIPTOR descriptor = SecurityOfANewServersPipe(LABEL_SECURITY_INFORMATION);
  ASSERT_TRUE(descriptor);
  // Read as an ACE: Wine's SDDL writer leaves labels out.
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL sacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted));
  ASSERT_TRUE(present && sacl);
  ASSERT_EQ(sacl->AceCount, 1);
  SYSTEM_MANDATORY_LABEL_ACE* ace = nullptr;
  ASSERT_TRUE(GetAce(sacl, 0, reinterpret_cast<void**>(&ace)));
  EXPECT_EQ(ace->Header.AceType, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
  EXPECT_EQ(ace->Mask, static_cast<DWORD>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP));
  wchar_t* labelSid = nullptr;
  ASSERT_TRUE(ConvertSidToStringSidW(&ace->SidStart, &labelSid));
  EXPECT_STREQ(labelSid, L"S-1-16-12288");  // high
  LocalFree(labelSid);
  LocalFree(descriptor);
}

TEST(LinkServer, AWriterThatNeverClosesIsCutOffAndTheNextIsServed) {
  const std::wstring name = rig::UniqueName(L"ClientPipe");
  Inbox inbox;
  pc::LinkServer server(name, inbox.Handler());
  portico::PipeHandle stuck = Connect(name);
  ASSERT_TRUE(stuck);
  ASSERT_TRUE(Write(stuck, "stuck\""));
  // The next writer waits for the single instance for as long as it takes.
  portico::PipeHandle next;
  for (const ULONGLONG end = GetTickCount64() + 15000; !next && GetTickCount64() < end;) next = Connect(name);
  ASSERT_TRUE(next);
  ASSERT_TRUE(Write(next, std::string("next\"\0", 6)));
  next.reset();
  const std::vector<pc::LinkMessage> messages = inbox.Wait(1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].link, "next");
  EXPECT_FALSE(Write(stuck, "more"));
}

TEST(LinkServer, ASlowWriterArrivesAsOneMessage) {
  const std::wstring name = rig::UniqueName(L"ClientPipe");
  Inbox inbox;
  pc::LinkServer server(name, inbox.Handler());
  portico::PipeHandle client = Connect(name);
  ASSERT_TRUE(client);
  for (const char* piece : {"op", "en?i", "d=7\""}) {
    ASSERT_TRUE(Write(client, piece));
    Sleep(300);
  }
  ASSERT_TRUE(Write(client, std::string(1, '\0')));
  EXPECT_TRUE(inbox.Wait(1, 300).empty());  // nothing until the writer closes
  client.reset();
  ASSERT_EQ(inbox.Wait(1).size(), 1u);
  EXPECT_EQ(inbox.Wait(1)[0].link, "open?id=7");
}

TEST(LinkServer, AnOversizedMessageIsNoLinkAndServingGoesOn) {
  const std::wstring name = rig::UniqueName(L"ClientPipe");
  Inbox inbox;
  pc::LinkServer server(name, inbox.Handler());
  Send(name, std::string(pc::kMaxMessageBytes, 'a') + '\0');
  Send(name, std::string(pc::kMaxMessageBytes - 1, 'b') + '\0');
  const std::vector<pc::LinkMessage> messages = inbox.Wait(2);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_FALSE(messages[0].link.has_value());
  EXPECT_EQ(messages[0].size, pc::kMaxMessageBytes + 1);
  EXPECT_EQ(messages[0].raw, std::string(pc::kMaxMessageBytes, 'a'));
  EXPECT_EQ(messages[1].link, std::string(pc::kMaxMessageBytes - 1, 'b'));
}

TEST(LinkServer, StopsWhileIdleAndWhileAWriterIsConnected) {
  const std::wstring name = rig::UniqueName(L"ClientPipe");
  {
    pc::LinkServer idle(name, [](const pc::LinkMessage&) {});
  }
  Inbox inbox;
  portico::PipeHandle client;
  {
    pc::LinkServer server(name, inbox.Handler());
    ASSERT_EQ(server.status(), LinkServerStatus::serving);  // the idle one gave the name back
    client = Connect(name);
    ASSERT_TRUE(Write(client, "half a li"));
    Sleep(200);
  }
  EXPECT_FALSE(Write(client, "nk"));
  EXPECT_TRUE(inbox.Wait(1, 300).empty());  // the unfinished message is not delivered
  EXPECT_EQ(pc::LinkServer(name, [](const pc::LinkMessage&) {}).status(), LinkServerStatus::serving);
}

TEST(LinkServer, ALinkHandedOffByThePorticoLauncherArrivesAsUtf8) {
  // The launcher writes only to the copy it brought up: SampleClient serves through the library and
  // records what its handler was given.
  rig::Installation install;
  install.WriteConfig();
  install.StartClient(L"normal", true);
  rig::Debuggee launcher(install.launcher(), L"\"" + install.scheme() + L"://open?id=7&name=caf\u00e9\"");
  auto box = rig::WaitForMessageBox(launcher.pid());
  ASSERT_TRUE(box.has_value());
  rig::PressButton(*box, IDOK);
  EXPECT_EQ(launcher.Wait().exitCode, 0u);
  ASSERT_TRUE(install.WaitForMessages(1));
  EXPECT_EQ(install.Record().pipeMessages.at(0), std::string("open?id=7&name=caf\xE9\"\0", 21));
  EXPECT_NE(rig::ReadFile(install.RecordFile()).find("link: open?id=7&name=caf\\xC3\\xA9\n"), std::string::npos)
      << rig::ReadFile(install.RecordFile());
}

}  // namespace
