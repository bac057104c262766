#include "UpdateWaitText.h"

std::wstring UpdatingText(const std::wstring& shortName, bool chinese) {
  return chinese ? L"正在更新 " + shortName + L"\u2026" : L"Updating " + shortName + L"\u2026";
}

UpdateGaveUpBox UpdateGaveUpTexts(const std::wstring& shortName, bool chinese, bool linkDropped) {
  if (chinese) {
    return {L"提示", L"另一个启动器正在更新 " + shortName + L"，长时间未完成。" + shortName + L" 未启动" +
                         (linkDropped ? L"，链接未打开" : L"") + L"。请稍后再试。"};
  }
  return {L"Prompt", L"Another launcher is updating " + shortName + L" and did not finish in time. " + shortName +
                         L" was not started" + (linkDropped ? L", and the link was not opened" : L"") +
                         L". Please try again later."};
}
