// Every setting of the program, named once: its section, the reader's
// buffer size (characters kept + 1) and the default the program applies when
// the value is empty. Every reader goes through CSettings, which reads the
// file at each use, so a change made by a dialog or an editor is seen at the
// next use of the key.
//
// The profile section is named by the document's title: "無題" for a new
// document, else the document file's name without its folder and without
// its extension ("/home/op/ja1xyz.nmi" -> "ja1xyz").
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "settings/IniFile.h"

namespace nami {

enum class Section { Window, Editor, Profile, Devices };

struct KeySpec {
  Section section;
  const char* name;
  int bufSize;           // characters kept + 1
  const char* fallback;  // applied when the value read is empty ("" = none)
};

namespace keys {
// Section "Window".
inline constexpr KeySpec FontName{Section::Window, "fontname", 32, "FixedSys"};
inline constexpr KeySpec FontNameHistory{Section::Window, "fontname", 80, ""};
inline constexpr KeySpec FontSize{Section::Window, "fontsize", 16, "12"};
inline constexpr KeySpec X{Section::Window, "x", 16, "100"};
inline constexpr KeySpec Y{Section::Window, "y", 16, "100"};
inline constexpr KeySpec Width{Section::Window, "width", 16, ""};    // default from the font
inline constexpr KeySpec Height{Section::Window, "height", 16, ""};  // default from the font
// The history pane's height in the splitter (pixels; default two thirds).
inline constexpr KeySpec HistoryHeight{Section::Window, "historyheight", 16, ""};
// The activity pane ("運用ログ"): "1" shown.
inline constexpr KeySpec ActivityPane{Section::Window, "activitypane", 16, "0"};
// Desktop notifications: "0" turns one off.
inline constexpr KeySpec NotifyOwnMail{Section::Window, "notifymail", 16, "1"};
inline constexpr KeySpec NotifyFailedRun{Section::Window, "notifyfail", 16, "1"};
// Section "Editor Name".
inline constexpr KeySpec Editor{Section::Editor, "editor", 128, "notepad.exe"};
// The profile section.
inline constexpr KeySpec ComStatus{Section::Profile, "comstatus", 32, "COM2:9600,n,8,1,n"};
inline constexpr KeySpec Echo{Section::Profile, "echo", 16, ""};
inline constexpr KeySpec Serial{Section::Profile, "serial", 16, ""};
inline constexpr KeySpec Call{Section::Profile, "call", 80, ""};
// The station's own call: messages read that are addressed to it are counted
// and notified.
inline constexpr KeySpec MyCall{Section::Profile, "mycall", 80, ""};
inline constexpr KeySpec Min{Section::Profile, "min", 16, "-1"};
inline constexpr KeySpec Prompt{Section::Profile, "prompt", 80, ""};
inline constexpr KeySpec Password{Section::Profile, "password", 80, ""};
inline constexpr KeySpec ReadCom{Section::Profile, "readcom", 80, ""};
inline constexpr std::array<KeySpec, 3> Event{{{Section::Profile, "event1", 80, ""},
                                              {Section::Profile, "event2", 80, ""},
                                              {Section::Profile, "event3", 80, ""}}};
inline constexpr std::array<KeySpec, 3> Response{{{Section::Profile, "response1", 80, ""},
                                                 {Section::Profile, "response2", 80, ""},
                                                 {Section::Profile, "response3", 80, ""}}};
// Queued mail paths are read with the send-mail dialog's buffer (127 bytes
// kept): a full path chosen there is often longer than 79 bytes, and a cut
// one would be skipped as missing and its key emptied, the mail unsent.
inline constexpr std::array<KeySpec, 5> Send{{{Section::Profile, "send1", 128, ""},
                                             {Section::Profile, "send2", 128, ""},
                                             {Section::Profile, "send3", 128, ""},
                                             {Section::Profile, "send4", 128, ""},
                                             {Section::Profile, "send5", 128, ""}}};
inline constexpr int SendDialogBufSize = 128;
inline constexpr std::array<KeySpec, 5> Field{{{Section::Profile, "fld1", 80, ""},
                                              {Section::Profile, "fld2", 80, ""},
                                              {Section::Profile, "fld3", 80, ""},
                                              {Section::Profile, "fld4", 80, ""},
                                              {Section::Profile, "fld5", 80, ""}}};
inline constexpr KeySpec LimitMode{Section::Profile, "limitmode", 80, ""};
inline constexpr KeySpec LimitLength{Section::Profile, "limitlength", 80, ""};
inline constexpr KeySpec LimitModel{Section::Profile, "limitmodel", 80, ""};
inline constexpr KeySpec LastMailNo{Section::Profile, "LastMailNo", 80, "10"};
inline constexpr KeySpec ListFile{Section::Profile, "ListFile", 128, "templist.dat"};
inline constexpr KeySpec MailFile{Section::Profile, "MailFile", 128, "tempmail.dat"};

// The keys copied from the old section to the new one when a document is
// saved under another title, in this order ("serial" is not among them).
inline constexpr std::array<const char*, 30> ProfileCopyOrder{
    "comstatus", "echo",     "LastMailNo", "fld1",      "fld2",      "fld3",        "fld4",       "fld5",
    "ListFile",  "MailFile", "call",       "min",       "prompt",    "password",    "send1",      "send2",
    "send3",     "send4",    "send5",      "readcom",   "limitmode", "limitlength", "limitmodel", "event1",
    "event2",    "event3",   "response1",  "response2", "response3", "mycall"};
}  // namespace keys

class CSettings {
 public:
  // The CP932 title of a new, never-saved document.
  static const std::string& UntitledTitle();
  // The profile section for a document file path: its name without folder and extension.
  static std::string TitleForPath(std::string_view path);

  explicit CSettings(std::string iniPath, IFileOps& ops = PosixFileOps());

  CIniFile& File() { return ini_; }
  const std::string& Path() const { return ini_.Path(); }

  const std::string& ProfileSection() const { return profile_; }
  void SetProfileSection(std::string title) { profile_ = std::move(title); }

  // The value as stored (cut to the key's buffer), no default applied.
  std::string Raw(const KeySpec& key) const { return RawCut(key, key.bufSize); }
  std::string RawCut(const KeySpec& key, int bufSize) const;
  // The value, or the key's default when the value is empty.
  std::string Get(const KeySpec& key) const;
  // The leading number of the value, or of the default when it is empty.
  int GetInt(const KeySpec& key) const;
  bool Has(const KeySpec& key) const;
  bool Set(const KeySpec& key, std::string_view value);
  bool SetInt(const KeySpec& key, int value) { return Set(key, std::to_string(value)); }

  // The device path of a port name (section "Devices"); for "COM1" ..
  // "COM9" /dev/ttyS<n-1> when the section does not name one; else empty.
  std::string DevicePath(std::string_view comName) const;
  bool SetDevicePath(std::string_view comName, std::string_view path);

  // Copies the profile from section `from` to the current profile section,
  // key by key in the fixed order: a non-empty value already in the new
  // section stays, otherwise the old value (79 bytes kept) is written, even
  // when it is empty.
  void CopyProfileFrom(std::string_view from);

 private:
  std::string SectionName(Section s) const;
  CIniFile ini_;
  std::string profile_;
};

// Where NAMI.INI lives: `--ini FILE`, else $NAMI_INI, else
// $XDG_CONFIG_HOME/nami/NAMI.INI, else ~/.config/nami/NAMI.INI.
std::string ResolveIniPath(std::string_view commandLineIni);

}  // namespace nami
