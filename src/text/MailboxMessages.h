// The mailbox window's texts, part of the catalogue in Messages.h (kept in
// a list of their own so the window's texts stay together).
#pragma once

// name, text
#define NAMI_MAILBOX_MESSAGES(X)                                                                                 \
  X(MailboxTitle, "メールボックス")                                                                              \
  X(MailboxTitleProfile, "メールボックス - {profile}")                                                           \
  X(FolderInbox, "受信")                                                                                         \
  X(FolderToMe, "自局宛")                                                                                        \
  X(FolderUnread, "未読")                                                                                        \
  X(FolderList, "掲示一覧")                                                                                      \
  X(FolderQueued, "送信待ち")                                                                                    \
  X(FolderSent, "送信済み")                                                                                      \
  X(FolderDrafts, "下書き")                                                                                      \
  X(FolderTrash, "ごみ箱")                                                                                       \
  X(FolderCount, "{name} ({count})")                                                                             \
  X(FolderCountUnread, "{name} ({unread}/{count})")                                                              \
  X(ColumnNumber, "番号")                                                                                        \
  X(ColumnType, "種別")                                                                                          \
  X(ColumnTo, "宛先")                                                                                            \
  X(ColumnAt, "@BBS")                                                                                            \
  X(ColumnFrom, "差出人")                                                                                        \
  X(ColumnDate, "日付")                                                                                          \
  X(ColumnSubject, "件名")                                                                                       \
  X(ColumnSize, "サイズ")                                                                                        \
  X(ColumnSlot, "send{slot}")                                                                                    \
  X(SearchPlaceholder, "検索 (Ctrl+F): 件名・差出人・宛先・本文")                                                \
  X(SearchWhole, "メールボックス全体")                                                                           \
  X(SearchFolder, "このフォルダー")                                                                              \
  X(SearchHits, "{count} 件")                                                                                    \
  X(ActionNew, "新規作成 (N)")                                                                                   \
  X(ActionReply, "返信 (R)")                                                                                     \
  X(ActionForward, "転送 (F)")                                                                                   \
  X(ActionDelete, "ごみ箱へ (Del)")                                                                              \
  X(ActionMark, "読み出し予約")                                                                                  \
  X(ActionOpenQueued, "開いて変更")                                                                              \
  X(ActionWithdraw, "送信取消")                                                                                  \
  X(MarkedTip, "読み出し予約: 次の自動運用で読み出します")                                                       \
  X(MailboxEmpty, "メールはまだありません。自動モードでメールを読み出すと、ここに並びます。")                    \
  X(MailboxCounts, "{count} 通 (未読 {unread})")                                                                 \
  X(MailboxFault, "メールボックスを使えません: {reason}")                                                        \
  X(ComposeNew, "メール作成")                                                                                    \
  X(ComposeReply, "返信")                                                                                        \
  X(ComposeForward, "転送")                                                                                      \
  X(ComposeChange, "送信待ちのメールを変更")                                                                     \
  X(FieldTo, "宛先")                                                                                             \
  X(FieldAt, "@BBS")                                                                                             \
  X(FieldKind, "種別")                                                                                           \
  X(KindPersonal, "私信")                                                                                        \
  X(KindBulletin, "掲示")                                                                                        \
  X(FieldSubject, "件名")                                                                                        \
  X(FieldBody, "本文")                                                                                           \
  X(LinePlace, "{line} 行 {column} 桁")                                                                          \
  X(LineTooLong, "{line} 行 {column} 桁: 79 桁を超える行は BBS や相手の端末で折り返されます")                    \
  X(ButtonDraft, "下書き保存")                                                                                   \
  X(ButtonQueue, "送信予約")                                                                                     \
  X(BadCall, "宛先 \"{call}\" はコールサインではありません (例: JA1ABC, JA1ABC-1)")                              \
  X(BadCategory, "宛先 \"{call}\" は掲示の宛先になりません (英数字 1 から 8 字, 例: ALL)")                       \
  X(BadBbs, "@BBS \"{bbs}\" は BBS のコールサインではありません")                                                \
  X(SlotsFull, "送信待ちが 5 通 (send1 から send5) 埋まっています。送信されるか取り消すまで予約できません。")    \
  X(NoCp932Form, "{field} の {line} 行 {column} 桁目の文字 「{char}」 ({code}) は Shift-JIS (CP932) にないため送れません。") \
  X(ComposeFailed, "送信予約できません: {reason}")                                                               \
  X(QueuedInSlot, "send{slot} に送信予約しました: {file}")                                                       \
  X(DraftSaved, "下書きを保存しました")                                                                          \
  X(Withdrawn, "送信予約を取り消し、下書きに戻しました")                                                         \
  X(AlreadySent, "このメールはもう送信されました")                                                               \
  X(ForwardSeparator, "----- 転送メッセージ -----")                                                              \
  X(NotifyOpen, "開く")                                                                                          \
  X(MarkedMissing, "読み出し予約の #{number} は BBS にありません (予約を取り消しました)")
