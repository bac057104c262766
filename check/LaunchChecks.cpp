#include "LaunchChecks.h"

#include "AsciiText.h"
#include "ConfigDocument.h"
#include "DisplayText.h"
#include "LaunchText.h"
#include "MinisignKey.h"
#include "OpenCommand.h"
#include "ShortcutNames.h"
#include "Utf8ToUtf16.h"
#include "WindowsFileName.h"

namespace {

constexpr size_t kAnsiRoom = 512;
constexpr size_t kCp936Room = 128;  // characters of the language key's name, with the terminator

enum class Presence { kAbsent, kOtherCase, kExact };

bool IsAscii(const std::wstring& text) {
  for (wchar_t c : text) {
    if (static_cast<unsigned long>(c) >= 0x80) return false;
  }
  return true;
}

// The folder's file systems ignore letter case on Windows; a name found only so is told apart.
Presence PresenceIn(const std::vector<std::string>& folderNames, const std::wstring& name) {
  const std::string wanted = Utf8(name);
  Presence found = Presence::kAbsent;
  for (const std::string& entry : folderNames) {
    if (entry == wanted) return Presence::kExact;
    if (AsciiLower(entry) == AsciiLower(wanted)) found = Presence::kOtherCase;
  }
  return found;
}

class LaunchCheck {
 public:
  LaunchCheck(const std::vector<std::string>& folderNames, CheckReport& report)
      : folderNames_(folderNames), report_(report), settings_(report.settings), plan_(report.plan) {}

  void Program() {
    const std::wstring& program = settings_.ProgName;
    if (program.empty()) {
      Warn("program-missing", nullptr, "no ProgName: the launcher starts nothing");
      return;
    }
    if (!IsBareFileName(program)) {
      Warn("program-folder", "ProgName",
           "ProgName is not a bare file name (it holds \\, /, : or \"..\", or ends in a dot or a blank, which Windows "
           "drops): the launcher starts nothing; write the file name alone, of a program in the launcher's folder");
    } else if (IsCommandScriptName(program)) {
      Warn("program-not-executable", "ProgName",
           Quoted(program) +
               " is a command script: the launcher starts programs only, never through the command "
               "interpreter, so it starts nothing");
    } else {
      plan_.program = program;
      const Presence presence = PresenceIn(folderNames_, program);
      plan_.programPresent = presence != Presence::kAbsent;
      if (presence == Presence::kAbsent) {
        Warn("program-not-found", "ProgName", Quoted(program) + " is not in the launcher's folder: the start fails");
      } else if (presence == Presence::kOtherCase) {
        Warn("program-case", "ProgName",
             "the file in the launcher's folder is named otherwise than " + Quoted(program) +
                 " in letter case: the launcher finds running copies by ProgName exactly, letter case included; "
                 "write ProgName as the file is named");
      }
    }
    const std::wstring extension = program.size() < 4 ? std::wstring() : AsciiLower(program.substr(program.size() - 4));
    if (!plan_.program.empty() && extension != L".exe" && extension != L".com") {
      // Windows starts any program file whatever its name ends in; only its content, unseen here, tells.
      plan_.programByContentOnly = true;
      Warn("program-not-executable", "ProgName",
           Quoted(program) +
               " does not end in .exe or .com: the launcher starts it as a program, never through the shell's file "
               "classes, so it starts nothing unless the file is a program");
    }
    if (extension != L".exe") {
      Warn("program-extension", "ProgName",
           "ProgName does not end in .exe: the launcher cuts its last four characters for the bare program name, " +
               Quoted(ShortName(program)) + ", which names the icon and the language key");
    }
  }

  void Scheme() {
    const std::wstring& scheme = settings_.Protocol;
    if (scheme.empty()) {
      Warn("scheme-missing", nullptr,
           "no Protocol: the launcher registers no scheme, and takes any command line for a link");
    } else if (!IsSchemeCommandKey(scheme + L"\\shell\\open\\command")) {
      std::string message = Quoted(scheme) +
                            " is not a scheme name (a letter, then letters, digits, +, - or .): the launcher does "
                            "not register it, so links do not start it";
      if (scheme.find(L':') != std::wstring::npos) message += "; write the name alone, without \"://\"";
      Warn("scheme-invalid", "Protocol", message);
    } else {
      plan_.scheme = scheme;
      plan_.machineWideLauncher = PresenceIn(folderNames_, L"Portico.exe") != Presence::kAbsent;
      plan_.perUserLauncher = PresenceIn(folderNames_, L"PorticoUser.exe") != Presence::kAbsent;
      if (AsciiLower(scheme) != scheme) {
        Note("scheme-capitals", "Protocol",
             Quoted(scheme) +
                 " has capital letters: it works, since schemes ignore letter case, but browsers hand links over "
                 "in small letters; write it in small letters");
      }
    }
  }

  void Pipe() {
    const std::wstring& pipe = settings_.Pipe;
    if (pipe.empty()) {
      Warn("pipe-missing", nullptr,
           "no Pipe: a link for a running copy cannot be handed over (the launcher exits with 1)");
    } else if (!IsSafePipeName(pipe)) {
      Warn("pipe-unsafe", "Pipe",
           Quoted(pipe) +
               " holds \\, / or \"..\": the launcher refuses it, so no link reaches a running copy; write only the "
               "name that follows \\\\.\\pipe\\");
    } else {
      plan_.pipe = L"\\\\.\\pipe\\" + pipe;
    }
  }

  // A Language setting chooses by the registry value's rule, and the registry is then not read.
  void Language() {
    const std::wstring& language = settings_.Language;
    if (language.empty()) return;
    const std::wstring lower = AsciiLower(language);
    const bool chinese = lower.find(L"zh-cn") != std::wstring::npos || lower.find(L"en-us") == std::wstring::npos;
    plan_.language = chinese ? L"zh-CN" : L"en-US";
    if (chinese && lower.find(L"zh-cn") == std::wstring::npos) {
      Warn("language-unknown", "Language",
           "Language " + Quoted(language) +
               " names neither en-US nor zh-CN: the interface is Chinese, whatever the registry holds");
    }
  }

  // The lookup reads the first element named exactly ProgName, through the ANSI code page, and cuts
  // four bytes; for ASCII that is four characters.
  void LanguageKey(const tinyxml2::XMLDocument& document) {
    if (!plan_.language.empty()) return;
    std::wstring bare;
    if (const char* text = FirstRootChildText(document, "ProgName")) {
      const std::wstring units = Utf8ToUtf16Units(text);
      if (!IsAscii(units)) {
        Note("language-key-code-page", nullptr,
             "ProgName holds characters beyond ASCII: the launcher forms the language key's name through the "
             "system's ANSI code page and reads it back as code page 936, so the key below holds only where that "
             "code page is 936 (Simplified Chinese)");
      }
      if (units.size() < kAnsiRoom) bare = ShortName(units);
      if (bare.size() >= kCp936Room) {
        Warn("language-key-too-long", "ProgName",
             "the bare program name has more than 127 characters, too many for the language key's name: the "
             "launcher reads no language key, and the interface is Chinese");
        return;
      }
    }
    plan_.languageKey = L"HKEY_CURRENT_USER\\SOFTWARE\\" + bare + L"\\Language";
    if (!settings_.ProgName.empty() && bare != ShortName(settings_.ProgName)) {
      Warn("language-key-name", "ProgName",
           "the language lookup reads the first element named exactly ProgName, letter case included, while the "
           "start takes the last one in any letter case: the launcher looks under SOFTWARE\\" +
               Utf8(bare) + "\\Language" + (bare.empty() ? ", with no program name" : "") +
               ", not under the started program's name");
    }
  }

  void Shortcuts() {
    plan_.chinese = Shortcut("shortcut_cn", settings_.shortcut_cn, "shortcut_new_cn", settings_.shortcut_new_cn,
                             "the Chinese interface");
    plan_.english = Shortcut("shortcut_en", settings_.shortcut_en, "shortcut_new_en", settings_.shortcut_new_en,
                             "the English interface");
    // The shortcut takes its icon's name from ProgName, even where the launcher starts nothing.
    const std::wstring& program = settings_.ProgName;
    if (program.empty() || (plan_.chinese.current.empty() && plan_.english.current.empty())) return;
    plan_.icon = ShortName(program) + L".ico";
    plan_.iconPresent = PresenceIn(folderNames_, plan_.icon) != Presence::kAbsent;
    // The icon is optional: its absence is worth knowing but no fault of the configuration.
    if (!plan_.iconPresent) {
      Note("icon-not-found", nullptr,
           Quoted(plan_.icon) + " is not in the launcher's folder: the desktop shortcut keeps the icon it has");
    }
  }

  // Only the exact word switches the box off; anything else keeps it, as a vendor may not expect.
  void HandOffBox() {
    const std::wstring& value = settings_.HandOffBox;
    plan_.announceRunningCopy = AnnounceRunningCopy(settings_);
    if (!value.empty() && plan_.announceRunningCopy) {
      Warn("hand-off-box-value", "HandOffBox",
           "HandOffBox " + Quoted(value) +
               " is not false: the \"already running\" box still shows; write false, in small letters, to leave "
               "it out");
    }
  }

  void UpdateKey() {
    const std::wstring& key = settings_.UpdatePublicKey;
    if (key.empty() || MinisignKeyId(key)) return;
    // A launcher with a key of its own never reads the setting, so its mistake costs nothing there.
    if (!plan_.compiledKeyId.empty()) {
      Note("key-invalid", "UpdatePublicKey",
           "UpdatePublicKey is not a minisign public key, but the launcher does not use it: the key compiled into " +
               Utf8(plan_.compiledKeyLauncher) + " decides which updates install");
    } else {
      Warn("key-invalid", "UpdatePublicKey",
           "UpdatePublicKey is not a minisign public key, so every update will be refused unless a key compiled into "
           "the launcher applies instead: give the base64 line of minisign.pub (56 characters, 42 bytes beginning with "
           "\"Ed\"), not its comment line");
    }
  }

  void Arguments() {
    std::wstring parameters;
    for (const LaunchArgument& argument : report_.enabledItems) {
      const std::wstring before = parameters;
      AppendLaunchArguments(parameters, {argument});
      if (parameters != before) plan_.arguments.push_back(argument);
    }
  }

 private:
  int LineOf(const char* setting) const {
    auto found = setting ? report_.settingLine.find(setting) : report_.settingLine.end();
    return found == report_.settingLine.end() ? 0 : found->second;
  }
  void Warn(const char* code, const char* setting, const std::string& message) {
    report_.findings.push_back({Severity::kWarning, code, LineOf(setting), message});
  }
  void Note(const char* code, const char* setting, const std::string& message) {
    report_.findings.push_back({Severity::kNote, code, LineOf(setting), message});
  }

  // A name the launcher would refuse counts as none; one it takes but Windows refuses is reported.
  std::wstring UsableName(const char* setting, const std::wstring& name) {
    if (name.empty()) return name;
    if (!IsShortcutName(name.c_str())) {
      Warn("shortcut-name-refused", setting,
           std::string(setting) + " " + Quoted(name) + " holds \\, / or :, so the launcher ignores it");
      return {};
    }
    if (!IsWindowsFileName(name)) {
      Warn("shortcut-name-invalid", setting,
           std::string(setting) + " " + Quoted(name) +
               " cannot name a file on Windows (a control character, one of < > \" | ? *, or a device name such as "
               "CON): no shortcut of that name can be found or saved");
    }
    return name;
  }

  ShortcutPlan Shortcut(const char* currentSetting, const std::wstring& current, const char* newSetting,
                        const std::wstring& renamed, const char* interfaceName) {
    ShortcutPlan plan{UsableName(currentSetting, current), UsableName(newSetting, renamed)};
    if (plan.current.empty()) {
      if (!renamed.empty()) {
        Warn("shortcut-new-without-current", newSetting,
             std::string(newSetting) + " is of no use without a usable " + currentSetting + ": with " + interfaceName +
                 " the launcher leaves the desktop shortcut alone");
      } else if (current.empty()) {
        Note("shortcut-none", nullptr,
             std::string("no ") + currentSetting + ": with " + interfaceName +
                 " the launcher leaves the desktop shortcut alone");
      }
      plan.renamed.clear();
    }
    if (plan.renamed == plan.current) plan.renamed.clear();
    return plan;
  }

  const std::vector<std::string>& folderNames_;
  CheckReport& report_;
  const ProductConfig& settings_;
  LaunchPlan& plan_;
};

}  // namespace

void PlanLaunch(const tinyxml2::XMLDocument& document, const std::vector<std::string>& folderNames,
                CheckReport& report) {
  LaunchCheck check(folderNames, report);
  check.Program();
  check.Scheme();
  check.Pipe();
  check.Language();
  check.LanguageKey(document);
  check.Shortcuts();
  check.UpdateKey();
  check.HandOffBox();
  check.Arguments();
}
