// Every fixed text the core shows to the user, in one place and in UTF-8.
//
// Each text is a whole sentence; what varies in it is a named placeholder
// ("{file} を開けません。\n{reason}") that Format fills where the message is
// shown. The core hands its messages on as UTF-8; the
// window shows them with QString::fromUtf8 and the headless runner prints
// them as they are. Text sent on the link is no message: it stays CP932.
// Each text must also have an exact CP932 form (tests/text checks it), so a
// message may be written into a CP932 log or settings file unchanged.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "text/MailboxMessages.h"

namespace nami::msg {

// name, text
#define NAMI_MESSAGES(X)                                                                                         \
  /* message boxes */                                                                                            \
  X(CannotOpenFile, "Cannot Open File")                                                                          \
  X(CannotWriteFile, "Cannot Write File")                                                                        \
  X(CannotCloseFile, "Cannot Close File")                                                                        \
  X(CannotReadFile, "Cannot Read File")                                                                          \
  X(FileNotFound, "ファイルが見つかりません")                                                                    \
  X(CannotOpenFileBecause, "Cannot Open File\n{file}: {reason}")                                                 \
  X(FileNotFoundBecause, "ファイルが見つかりません\n{file}: {reason}")                                           \
  X(ReconfigurePort, "ＣＯＭﾎﾟｰﾄを再設定し再度実行して下さい")                                                   \
  X(ReconfigurePortBecause, "ＣＯＭﾎﾟｰﾄを再設定し再度実行して下さい\n{reason}")                                  \
  X(LinkLost, "link lost: {reason}")                                                                             \
  X(Untitled, "無題")                                                                                            \
  /* a document that cannot be opened or saved */                                                                \
  X(DocumentCannotBeOpened, "{file} を開けません。\n{reason}")                                                   \
  X(DocumentAccessFailed, "Cannot Open File: {reason}")                                                          \
  X(DocumentNotSaved, "the received text could not be saved: {reason}")                                          \
  X(UnstorablePath,                                                                                              \
    "{path}\nこのファイル名には Shift-JIS (CP932) で表せない文字があるため、NAMI.INI に記録できません。")        \
  /* why a serial device is not open */                                                                          \
  X(NoDeviceSet, "このポートにはデバイスが設定されていません")                                                                          \
  X(AddToGroup, "アクセスが拒否されました: ユーザーをグループ {group} に加えてください")                                                        \
  X(OwnerOnly, "アクセスが拒否されました: このデバイスは所有者 {owner} しか使えません")                                                         \
  X(InUseByProcess, "プロセス {pid} が使用中です")                                                                           \
  X(InUseByAnother, "ほかのプログラムが使用中です")                                                                              \
  X(NotATerminal, "シリアルデバイスではありません (端末ではありません)")                                                                   \
  X(SettingsRefused, "デバイスが回線の設定を受け付けません ({reason})")                                                              \
  X(DeviceLost, "デバイスが失われました ({reason})")                                                                          \
  X(HangUp, "回線切断")                                                                                                \
  X(CannotBeOpened, "{port} を開けません")                                                                               \
  X(CannotBeOpenedBecause, "{port} を開けません: {reason}")                                                              \
  X(HostNotFound, "ホスト \"{host}\" が見つかりません ({reason})")                                                            \
  X(ConnectionLostBecause, "接続が切れました ({reason})")                                                                  \
  X(ServerClosed, "サーバーが接続を閉じました")                                                                 \
  X(ServerClosedMidFrame, "サーバーがフレームの途中で接続を閉じました")                                                                                 \
  /* why a link value is not one (the port dialog, the port) */                                                    \
  X(LinkValueInvalid, "\"{value}\": {reason}")                                                                     \
  X(LinkUnclosedBracket, "ホストの [ が閉じていません")                                                                        \
  X(LinkTextAfterHost, "ホストの後に余分な文字があります")                                                                         \
  X(LinkIpv6Brackets, "IPv6 のホストは [ ] で囲んでください")                                                                   \
  X(LinkNoHost, "正しいホスト名がありません")                                                                                   \
  X(LinkTcpPortRange, "TCP ポートは 1 から 65535 までの数で指定してください")                                                         \
  X(LinkTcpPortMissing, "':' の後に TCP ポートがありません")                                                                   \
  X(LinkUnknownKind, "リンクの種類 \"{kind}\" はありません (agw://, telnet://, kiss://, kiss:, sim:)")                         \
  X(LinkTelnetNoRadioPort, "telnet のリンクには無線ポートがありません")                                                             \
  X(LinkRadioPortRange, "無線ポートは 0 から 255 までの数で指定してください")                                                           \
  X(LinkNothingGiven, "デバイスもリンクも指定されていません")                                                                        \
  X(LinkNeither, "デバイスのパスでも agw://HOST:PORT, telnet://HOST:PORT, kiss://HOST:PORT, kiss:DEVICE, sim: でもありません")     \
  /* the system's errors on ports and sockets */                                                                   \
  X(ErrConnectionRefused, "接続を拒否されました")                                                                            \
  X(ErrTimedOut, "接続がタイムアウトしました")                                                                                  \
  X(ErrHostUnreachable, "ホストに到達できません")                                                                             \
  X(ErrNetworkUnreachable, "ネットワークに到達できません")                                                                       \
  X(ErrNetworkDown, "ネットワークが停止しています")                                                                              \
  X(ErrConnectionReset, "接続が相手からリセットされました")                                                                        \
  X(ErrBrokenPipe, "相手が接続を閉じました")                                                                                  \
  X(ErrAddressNotAvailable, "そのアドレスは使えません")                                                                        \
  X(ErrNoEntry, "ファイルまたはデバイスがありません")                                                                               \
  X(ErrNoDevice, "デバイスがありません")                                                                                     \
  X(ErrAccess, "アクセスが拒否されました")                                                                                     \
  X(ErrBusy, "デバイスが使用中です")                                                                                         \
  X(ErrIo, "入出力エラー")                                                                                               \
  X(ErrIsFolder, "フォルダーです")                                                                                        \
  X(ErrNotFolder, "フォルダーではありません")                                                                                  \
  X(ErrNotTerminal, "端末ではありません")                                                                                   \
  X(ErrInvalid, "引数が正しくありません")                                                                                     \
  X(ErrTooManyFiles, "開いているファイルが多すぎます")                                                                            \
  X(ErrNameUnknown, "その名前のホストはありません")                                                                              \
  X(ErrNameTryAgain, "名前を一時的に解決できません")                                                                             \
  X(ErrOther, "システムのエラー {number}")                                                                                 \
  X(ErrNameOther, "名前解決のエラー {number}")                                                                             \
  X(KindNotAvailable, "\"{value}\": このリンクの種類はここでは使えません")                                       \
  X(NoPassword, "{link}: the BBS asks for a password and none is kept for this link")                            \
  X(PasswordRefused, "{link}: the BBS asks for a password and {file}: {reason}")                                 \
  /* why an autopilot run was ended */                                                                           \
  X(AbortEndCommand, "自動モード終了コマンドで中止しました")                                                     \
  X(AbortDisconnected, "接続が切れたため中止しました")                                                           \
  X(AbortMailFile, "メールファイルのエラーで中止しました")                                                       \
  X(AbortLogNotOpened, "ログファイルを開けないため中止しました")                                                 \
  X(AbortNoPort, "ポートが開いていないため中止しました")                                                         \
  X(AbortSettings, "設定ファイルに書き込めないため中止しました")                                                 \
  X(AbortSettingsBecause, "設定ファイルに書き込めないため中止しました: {reason}")                                \
  X(AbortListLog, "リストのログに書き込めないため中止しました")                                                  \
  X(AbortListLogBecause, "リストのログに書き込めないため中止しました: {file}: {reason}")                         \
  X(AbortMailLog, "メールのログに書き込めないため中止しました")                                                  \
  X(AbortMailLogBecause, "メールのログに書き込めないため中止しました: {file}: {reason}")                         \
  X(NothingMovedFor, "nothing received and nothing sent for {seconds} s")                                        \
  X(NothingReceivedFor, "nothing received for {seconds} s")                                                      \
  /* why a user file is not opened */                                                                            \
  X(IsAFolder, "is a folder, not a file")                                                                        \
  X(IsAFifo, "is a named pipe (FIFO), not a file")                                                               \
  X(IsADevice, "is a device, not a file")                                                                        \
  X(IsASocket, "is a socket, not a file")                                                                        \
  X(IsASymlink, "is a symbolic link, which is not followed for this file")                                       \
  X(IsNotARegularFile, "is not a regular file")                                                                  \
  X(Unprotected, "refused, others may read or change it (chmod 600 it)")                                         \
  /* what is wrong with a document */                                                                            \
  X(NotANamiDocument, "not a nami document")                                                                     \
  X(DocumentNoLineCount, "The document file is damaged: the line count is missing.")                             \
  X(DocumentTooFewLines, "The document file is damaged: it announces more lines than it holds.")                 \
  X(DocumentLinePastEnd, "The document file is damaged: line {line} runs past the end.")                         \
  X(NotACompoundFile, "This file is not a nami document (not a compound file)")                                  \
  X(NoContentsStream, "This file is not a nami document (it has no \"Contents\" stream).")                       \
  X(ContentsTooLarge, "The document file is damaged: its \"Contents\" stream is larger than the file.")          \
  X(ContentsUnreadable, "The document file is damaged: its \"Contents\" stream cannot be read.")                 \
  X(DocumentTooLarge, "This file is too large for a nami document ({size} bytes)")                               \
  /* the station's notes about the port */                                                                       \
  X(Simulator, "シミュレーター")                                                                                 \
  X(PortOpenAgain, "the port is open again: {device}")                                                           \
  X(WaitingForPort, "waiting for the port to open ({reason}); trying every {seconds} s")                         \
  /* the link state in the status bar */                                                                         \
  X(LinkConnecting, "接続中 {peer}")                                                                             \
  X(LinkConnected, "接続 {peer} {time}")                                                                         \
  X(LinkDisconnecting, "切断中 {peer}")                                                                          \
  X(LinkReleasing, "切断中…")                                                                                  \
  X(LinkNotConnected, "未接続")                                                                                  \
  X(LinkNotConnectedBusy, "未接続 ({peer} 話中)")                                                                \
  X(LinkNotConnectedNoAnswer, "未接続 ({peer} 応答なし)")                                                        \
  /* progress */                                                                                                 \
  X(ProgressBytes, "{done}/{total} バイト")                                                                      \
  X(ProgressRate, "{rate} B/s")                                                                                  \
  X(PasteProgress, "ペースト送信中 {done}/{total} バイト")                                                       \
  X(UploadProgress, "アップロード中 {done}/{total} バイト")                                                      \
  X(PasteCut, "クリップボードのテキストが長すぎます。末尾の {bytes} バイトは送信しません。")                     \
  X(LengthLimit, "{limit} 文字以内で入力してください。")                                                         \
  /* file dialog titles */                                                                                       \
  X(UploadTitle, "アップロード")                                                                                 \
  X(DownloadTitle, "ダウンロード")                                                                               \
  X(RetroDownloadTitle, "さかのぼってダウン")                                                                    \
  X(CopyToFileTitle, "ファイルにコピー")                                                                         \
  X(UploadFilter,                                                                                                \
    "アップロード ファイル (*.upl) | *.upl|すべてのファイル (*.*) | *.*|ダウンロード ファイル (*.dwn) | *.dwn|"       \
    "ISH ファイル (*.ish) | *.ish||")                                                                                  \
  X(DownloadFilter,                                                                                              \
    "ダウンロード ファイル (*.dwn) | *.dwn|すべてのファイル (*.*) | *.*|アップロード ファイル (*.upl) | *.upl|"       \
    "ISH ファイル (*.ish) | *.ish||")                                                                                  \
  X(SendMailFilter,                                                                                              \
    "アップロード ファイル (*.upl *.UPL);;すべてのファイル (*);;ダウンロード ファイル (*.dwn *.DWN);;"                 \
    "ISH ファイル (*.ish *.ISH)")                                                                                      \
  X(SendMailBrowse, "送信ﾒｰﾙ選択")                                                                               \
  X(SendMailBrowseRow, "送信ﾒｰﾙ選択{row}")                                                                       \
  /* what the autopilot is doing (status bar) */                                                                 \
  X(StatusAutoMode, "自動モード: {step}")                                                                        \
  X(StatusConnecting, "相手局に接続中")                                                                          \
  X(StatusSending, "メール送信中")                                                                               \
  X(StatusSendingFile, "メール送信中 {progress}")                                                                \
  X(StatusListing, "リスト読み出し中")                                                                           \
  X(StatusReading, "メール読み出し中")                                                                           \
  X(StatusReadingCount, "メール読み出し中 {done}/{planned} 通")                                                  \
  /* what the autopilot did (activity pane) */                                                                   \
  X(ActivityConnect, "相手局に接続: {call}")                                                                     \
  X(ActivityPassword, "(パスワード)")                                                                            \
  X(ActivityLogOff, "ログオフ")                                                                                  \
  X(ActivityAutoStart, "自動モード開始")                                                                         \
  X(ActivityAutoStartScheduled, "自動モード開始 (スケジュール)")                                                 \
  X(ActivityList, "リスト読み出し")                                                                              \
  X(ActivityRead, "メール読み出し")                                                                              \
  X(ActivitySend, "メール送信")                                                                                  \
  X(ActivityNothingToSend, "送信待ちのメールはありません")                                                       \
  X(MailFileSkipped, "メールファイルを開けないため飛ばしました: {file}: {reason}")                               \
  X(ActivityMailFile, "メールファイル {file} ({bytes} バイト)")                                                  \
  X(MailboxNotWritten, "メールボックスに書き込めません。実行は続け、後でログから取り込みます: {reason}")         \
  X(MailboxCaughtUp, "メールボックスにログから取り込みました: {file}")                                          \
  /* how a run ended, and its summary */                                                                         \
  X(OutcomeNone, "未実行")                                                                                       \
  X(OutcomeCompleted, "完了")                                                                                    \
  X(OutcomeNothingNew, "完了 (新着なし)")                                                                        \
  X(OutcomeEndedByUser, "終了コマンドで中止")                                                                    \
  X(OutcomeNoAnswer, "応答なし")                                                                                 \
  X(OutcomeBbsBusy, "BBS 使用中")                                                                                \
  X(OutcomeConnectFailed, "接続できず")                                                                          \
  X(OutcomeLinkLost, "リンク断")                                                                                 \
  X(OutcomePortNotOpen, "ポートが開いていない")                                                                  \
  X(OutcomeFileError, "ファイルに書けない")                                                                      \
  X(SummaryCounts, "送信 {sent} 通, リスト {list} 行, 読み出し {read} 通")                                       \
  X(SummaryOwnCall, "{counts} ({call} 宛 {mails} 通)")                                                           \
  X(NoticeOwnMail, "{call} 宛のメール {mails} 通")                                                               \
  X(NoticeScheduledRunFailed, "定時の自動運用に失敗: {outcome}")                                                 \
  /* the settings file */                                                                                        \
  X(SettingsCannotBeRead,                                                                                        \
    "settings file {path} cannot be read ({reason}); running on default settings, and nothing is written to it") \
  X(SettingsIsReadOnly, "settings file {path} is read-only; the settings are not saved")                         \
  X(SettingsCannotBeWritten, "settings file {path} cannot be written ({reason}); the settings are not saved")

#define NAMI_MESSAGE_DEFINE(name, text) inline const std::string name = text;
NAMI_MESSAGES(NAMI_MESSAGE_DEFINE)
NAMI_MAILBOX_MESSAGES(NAMI_MESSAGE_DEFINE)
#undef NAMI_MESSAGE_DEFINE

// Every text above, for checks over the whole catalogue.
#define NAMI_MESSAGE_ENTRY(name, text) &name,
inline const std::string* const kAll[] = {NAMI_MESSAGES(NAMI_MESSAGE_ENTRY) NAMI_MAILBOX_MESSAGES(NAMI_MESSAGE_ENTRY)};
#undef NAMI_MESSAGE_ENTRY

// Fills a text's placeholders: each "{name}" by the value given for it, in
// one pass (a value's own braces stay as they are). A placeholder without a
// value is kept as written.
std::string Format(std::string_view text, std::initializer_list<std::pair<std::string_view, std::string_view>> values);

// The catalogue's words for a system error number met on a port or a
// socket ("接続を拒否されました"), the number itself for the rarer ones.
std::string SystemErrorText(int error);
// The same for a getaddrinfo() error code.
std::string NameErrorText(int code);

}  // namespace nami::msg
