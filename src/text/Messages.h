// Every fixed text the core shows to the user, in one place and in UTF-8.
//
// The core builds its messages from these and hands them on as UTF-8; the
// window shows them with QString::fromUtf8 and the headless runner prints
// them as they are. Text sent on the link is no message: it stays CP932.
// Each text must also have an exact CP932 form (tests/text checks it), so a
// message may be written into a CP932 log or settings file unchanged.
#pragma once

#include <string>

namespace nami::msg {

// name, text
#define NAMI_MESSAGES(X)                                                                                \
  /* message boxes */                                                                                   \
  X(CannotOpenFile, "Cannot Open File")                                                                 \
  X(CannotWriteFile, "Cannot Write File")                                                               \
  X(CannotCloseFile, "Cannot Close File")                                                               \
  X(CannotReadFile, "Cannot Read File")                                                                 \
  X(FileNotFound, "ファイルが見つかりません")                                                           \
  X(ReconfigurePort, "ＣＯＭﾎﾟｰﾄを再設定し再度実行して下さい")                                          \
  X(LinkLost, "link lost: ")                                                                            \
  X(Untitled, "無題")                                                                                   \
  /* why a serial device is not open */                                                                 \
  X(NoDeviceSet, "no device is set for this port")                                                      \
  X(AddToGroup, "Permission denied: add your user to the group ")                                       \
  X(InUseByProcess, "in use by process ")                                                               \
  X(InUseByAnother, "in use by another program")                                                        \
  X(NotATerminal, "not a serial device (not a terminal)")                                               \
  X(SettingsRefused, "the device refused the line settings")                                            \
  X(DeviceLost, "the device was lost")                                                                  \
  X(HangUp, "hang-up")                                                                                  \
  X(CannotBeOpened, " cannot be opened")                                                                \
  X(KindNotAvailable, ": this link kind is not available here")                                         \
  /* why an autopilot run was ended */                                                                  \
  X(AbortEndCommand, "自動モード終了コマンドで中止しました")                                            \
  X(AbortDisconnected, "接続が切れたため中止しました")                                                  \
  X(AbortMailFile, "メールファイルのエラーで中止しました")                                              \
  X(AbortLogNotOpened, "ログファイルを開けないため中止しました")                                        \
  X(AbortNoPort, "ポートが開いていないため中止しました")                                                \
  X(AbortSettings, "設定ファイルに書き込めないため中止しました")                                        \
  X(AbortListLog, "リストのログに書き込めないため中止しました")                                         \
  X(AbortMailLog, "メールのログに書き込めないため中止しました")                                         \
  X(NothingReceivedFor, "nothing received for ")                                                        \
  /* why a user file is not opened */                                                                   \
  X(IsAFolder, "is a folder, not a file")                                                               \
  X(IsAFifo, "is a named pipe (FIFO), not a file")                                                      \
  X(IsADevice, "is a device, not a file")                                                               \
  X(IsASocket, "is a socket, not a file")                                                               \
  X(IsNotARegularFile, "is not a regular file")                                                         \
  /* documents */                                                                                       \
  X(NotANamiDocument, "not a nami document")                                                            \
  X(DocumentNotWritten, "the document could not be written")                                            \
  X(DocumentNoLineCount, "The document file is damaged: the line count is missing.")                    \
  X(DocumentTooFewLines, "The document file is damaged: it announces more lines than it holds.")        \
  X(DocumentLine, "The document file is damaged: line ")                                                \
  X(DocumentLinePastEnd, " runs past the end.")                                                         \
  X(NotACompoundFile, "This file is not a nami document (not a compound file)")                         \
  X(NoContentsStream, "This file is not a nami document (it has no \"Contents\" stream).")              \
  X(ContentsTooLarge, "The document file is damaged: its \"Contents\" stream is larger than the file.") \
  X(ContentsUnreadable, "The document file is damaged: its \"Contents\" stream cannot be read.")        \
  X(DocumentTooLarge, "This file is too large for a nami document (")                                   \
  /* the station's notes about the port */                                                              \
  X(Simulator, "シミュレーター")                                                                        \
  X(PortOpenAgain, "the port is open again: ")                                                          \
  X(WaitingForPort, "waiting for the port to open (")                                                   \
  X(TryingEvery, "); trying every ")                                                                    \
  /* the settings file */                                                                               \
  X(SettingsFile, "settings file ")                                                                     \
  X(SettingsUnreadable, " cannot be read (")                                                            \
  X(SettingsRunOnDefaults, "); running on default settings, and nothing is written to it")              \
  X(SettingsReadOnly, " is read-only; the settings are not saved")                                      \
  X(SettingsUnwritable, " cannot be written (")                                                         \
  X(SettingsNotSaved, "); the settings are not saved")

#define NAMI_MESSAGE_DEFINE(name, text) inline const std::string name = text;
NAMI_MESSAGES(NAMI_MESSAGE_DEFINE)
#undef NAMI_MESSAGE_DEFINE

// Every text above, for checks over the whole catalogue.
#define NAMI_MESSAGE_ENTRY(name, text) &name,
inline const std::string* const kAll[] = {NAMI_MESSAGES(NAMI_MESSAGE_ENTRY)};
#undef NAMI_MESSAGE_ENTRY

// "settings file PATH cannot be read (WHY); running on default settings, …"
inline std::string SettingsCannotBeRead(const std::string& path, const std::string& why) {
  return SettingsFile + path + SettingsUnreadable + why + SettingsRunOnDefaults;
}
inline std::string SettingsIsReadOnly(const std::string& path) { return SettingsFile + path + SettingsReadOnly; }
inline std::string SettingsCannotBeWritten(const std::string& path, const std::string& why) {
  return SettingsFile + path + SettingsUnwritable + why + SettingsNotSaved;
}
// A box naming the object (a file, a device) and the reason under its title.
inline std::string WithCause(const std::string& title, const std::string& object, const std::string& reason) {
  return title + "\n" + object + ": " + reason;
}

}  // namespace nami::msg
