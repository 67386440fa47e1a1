// Every setting of the program, named once: its section, the reader's
// buffer size (characters kept + 1) and the default the program applies when
// the value is empty. Every reader goes through CSettings, which reads the
// file at each use, so a change made by a dialog or an editor is seen at the
// next use of the key.
//
// The profile section is named by the document's title: "無題" for a new
// document, else the document file's name without its folder and without
// its extension ("/home/op/ja1xyz.nmi" -> "ja1xyz"), or that name with
// its extension when only such a section exists ("[ja1xyz.nmi]").
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
inline constexpr KeySpec Editor{Section::Editor, "editor", 129, "notepad.exe"};
// The profile section.
inline constexpr KeySpec ComStatus{Section::Profile, "comstatus", 32, "COM2:9600,n,8,1,n"};
inline constexpr KeySpec Echo{Section::Profile, "echo", 16, ""};
inline constexpr KeySpec Serial{Section::Profile, "serial", 16, ""};
inline constexpr KeySpec Call{Section::Profile, "call", 81, ""};
inline constexpr KeySpec Min{Section::Profile, "min", 16, "-1"};
inline constexpr KeySpec Prompt{Section::Profile, "prompt", 81, ""};
inline constexpr KeySpec Password{Section::Profile, "password", 81, ""};
inline constexpr KeySpec ReadCom{Section::Profile, "readcom", 81, ""};
inline constexpr std::array<KeySpec, 3> Event{
    {{Section::Profile, "event1", 81, ""}, {Section::Profile, "event2", 81, ""}, {Section::Profile, "event3", 81, ""}}};
inline constexpr std::array<KeySpec, 3> Response{{{Section::Profile, "response1", 81, ""},
                                                  {Section::Profile, "response2", 81, ""},
                                                  {Section::Profile, "response3", 81, ""}}};
// Every value a dialog lets the user type in full (80 or 128 bytes) is read
// with one byte more, so what was typed reads back whole. Queued mail paths
// use the send-mail dialog's length: a full path chosen there is often
// longer than 79 bytes, and a cut one would be skipped as missing and its
// key emptied, the mail unsent.
inline constexpr std::array<KeySpec, 5> Send{{{Section::Profile, "send1", 129, ""},
                                              {Section::Profile, "send2", 129, ""},
                                              {Section::Profile, "send3", 129, ""},
                                              {Section::Profile, "send4", 129, ""},
                                              {Section::Profile, "send5", 129, ""}}};
inline constexpr int SendDialogBufSize = 129;
inline constexpr std::array<KeySpec, 5> Field{{{Section::Profile, "fld1", 81, ""},
                                               {Section::Profile, "fld2", 81, ""},
                                               {Section::Profile, "fld3", 81, ""},
                                               {Section::Profile, "fld4", 81, ""},
                                               {Section::Profile, "fld5", 81, ""}}};
inline constexpr KeySpec LimitMode{Section::Profile, "limitmode", 81, ""};
inline constexpr KeySpec LimitLength{Section::Profile, "limitlength", 81, ""};
inline constexpr KeySpec LimitModel{Section::Profile, "limitmodel", 81, ""};
inline constexpr KeySpec LastMailNo{Section::Profile, "LastMailNo", 81, "10"};
inline constexpr KeySpec ListFile{Section::Profile, "ListFile", 129, "templist.dat"};
inline constexpr KeySpec MailFile{Section::Profile, "MailFile", 129, "tempmail.dat"};
// The send command line a mail file made by "nami mail compose" starts
// with: "{to}" is the addressee, "{at}" the BBS; "@ {at}" is left out when
// no BBS is given.
inline constexpr KeySpec SendPersonalCommand{Section::Profile, "spcommand", 81, "SP {to} @ {at}"};
inline constexpr KeySpec SendBulletinCommand{Section::Profile, "sbcommand", 81, "SB {to} @ {at}"};
// Seconds without a byte from the port after which a waiting run ends as
// "no answer" (0 = never).
inline constexpr KeySpec Watchdog{Section::Profile, "watchdog", 16, "300"};

// The keys copied from the old section to the new one when a document is
// saved under another title, in this order ("serial" is not among them).
inline constexpr std::array<const KeySpec*, 32> ProfileCopyOrder{
    &ComStatus, &Echo,     &LastMailNo,  &Field[0],    &Field[1],   &Field[2],    &Field[3],   &Field[4],
    &ListFile,  &MailFile, &Call,        &Min,         &Prompt,     &Password,    &Send[0],    &Send[1],
    &Send[2],   &Send[3],  &Send[4],     &ReadCom,     &LimitMode,  &LimitLength, &LimitModel, &Event[0],
    &Event[1],  &Event[2], &Response[0], &Response[1], &Response[2], &Watchdog,
    &SendPersonalCommand, &SendBulletinCommand};
}  // namespace keys

class CSettings {
 public:
  // The CP932 title of a new, never-saved document.
  static const std::string& UntitledTitle();
  // The profile section for a document file path (file-system bytes): its
  // name without folder and extension, in CP932.
  static std::string TitleForPath(std::string_view path);
  // The profile section of a document file as this NAMI.INI has it: its
  // title (TitleForPath), or the whole file name when the file has a section
  // of that name and none of the title ("[x.nmi]", as the Windows program
  // saves it where the desktop shows extensions).
  std::string ProfileForDocument(std::string_view path) const;

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
  // Writes the key again with its whole stored value: proves that the file
  // can be written now without changing what it says.
  bool Rewrite(const KeySpec& key);
  // The first settings problem (UTF-8), or empty; see CIniFile.
  const std::string& Problem() const { return ini_.Problem(); }

  // The device path (file-system bytes) of a port name (section "Devices");
  // for "COM1" .. "COM9" /dev/ttyS<n-1> when the section does not name one;
  // else empty.
  std::string DevicePath(std::string_view comName) const;
  // False when the path cannot be stored (see FsPathToIni) or written.
  bool SetDevicePath(std::string_view comName, std::string_view path);
  // The station's call for the built-in TNC2 (section "Devices", key
  // "MYCALL"), e.g. "JA1XYZ-1"; empty when not set.
  std::string MyCall() const;
  bool SetMyCall(std::string_view call);

  // The paths kept in the profile, as the file system names them.
  std::string ListFilePath() const;
  std::string MailFilePath() const;
  std::string SendPath(std::size_t slot) const;  // slot 0 .. 4, empty when none

  // Copies the profile from section `from` to the current profile section,
  // key by key in the fixed order: a non-empty value already in the new
  // section stays, otherwise the old value (each key read at its own
  // length) is written, even when it is empty. False when a write failed.
  bool CopyProfileFrom(std::string_view from);

 private:
  std::string SectionName(Section s) const;
  CIniFile ini_;
  std::string profile_;
};

// Where NAMI.INI lives: `--ini FILE`, else $NAMI_INI, else
// $XDG_CONFIG_HOME/nami/NAMI.INI, else ~/.config/nami/NAMI.INI.
std::string ResolveIniPath(std::string_view commandLineIni);

// The settings file of `nami --demo`: $XDG_RUNTIME_DIR/nami-demo/NAMI.INI,
// else $TMPDIR (or /tmp)/nami-demo-<uid>/NAMI.INI. The folder is created
// (mode 0700).
std::string DemoIniPath();

}  // namespace nami
