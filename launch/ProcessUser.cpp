#include "ProcessUser.h"

#include "WinHandles.h"

namespace {

// Room for the largest SID there is, so that no token's user can overrun it.
struct TokenUserBuffer {
  alignas(TOKEN_USER) BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  PSID sid() { return reinterpret_cast<TOKEN_USER*>(bytes)->User.Sid; }
};

bool ReadTokenUser(HANDLE process, TokenUserBuffer& user) {
  portico::KernelHandle token;
  if (!OpenProcessToken(process, TOKEN_QUERY, token.put())) return false;
  DWORD size = 0;
  return GetTokenInformation(token.get(), TokenUser, user.bytes, sizeof(user.bytes), &size) && IsValidSid(user.sid());
}

}  // namespace

bool RunsAsThisUser(DWORD processId) {
  TokenUserBuffer own;
  TokenUserBuffer other;
  // The least right that lets the token be opened.
  portico::KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  return process && ReadTokenUser(GetCurrentProcess(), own) && ReadTokenUser(process.get(), other) &&
         EqualSid(own.sid(), other.sid());
}
