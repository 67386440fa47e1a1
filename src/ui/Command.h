// The commands of the menus, the toolbar, the panes' context menus and the
// accelerators. Each has one row in CommandTable.cpp; a QAction carries the
// command's number in its data (0 is no command).
#pragma once

namespace nami {

enum class Command {
  // File (the document commands).
  FileNew = 1,
  FileOpen,
  FileSave,
  FileSaveAs,
  OpenRecent,  // the place of the recent files in the file menu
  AppExit,
  // Edit.
  EditUndo,
  EditCut,
  EditCopy,
  EditPaste,  // paste-send
  PasteStop,
  CopyToFile,
  EditAndSend,
  SearchCondition,
  SearchUp,
  SearchDown,
  // Upload and download.
  Upload,
  UploadStop,
  Download,
  RetroDownload,
  DownloadEnd,
  // Editor.
  MailCreate,
  MailView,
  ListView,
  // Autopilot.
  AutoModeSettings,
  AutoModeStart,
  Connect,
  MailSend,
  ListRead,
  MailRead,
  AutoModeEnd,
  // Settings.
  StationSettings,
  SendMailSelect,
  FieldSettings,
  LastMailNo,
  EditIni,
  ComPortSettings,
  EditorSettings,
  FileNameSettings,
  ViewToolbar,
  ViewStatusBar,
  ActivityPane,
  FontSelect,
  NotifyOwnMail,
  NotifyFailedRun,
  // Help.
  UserManual,
  AppAbout,
  // Panes.
  NextPane,
  PrevPane,
  // Editor: the mailbox window.
  Mailbox,
};

}  // namespace nami
