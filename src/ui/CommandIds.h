// The numeric command ids of the menus, the toolbar and the accelerators.
#pragma once

namespace nami::cmd {
// File (the document commands).
inline constexpr int FileNew = 57600;
inline constexpr int FileOpen = 57601;
inline constexpr int FileSave = 57603;
inline constexpr int FileSaveAs = 57604;
inline constexpr int FileMru1 = 57616;  // 57616 .. 57625: the recent files
inline constexpr int AppExit = 57665;
// Edit.
inline constexpr int EditUndo = 57643;
inline constexpr int EditCut = 57635;
inline constexpr int EditCopy = 57634;
inline constexpr int EditPaste = 57637;  // paste-send
inline constexpr int PasteStop = 32773;
inline constexpr int CopyToFile = 32774;
inline constexpr int EditAndSend = 32850;
inline constexpr int SearchCondition = 32782;
inline constexpr int SearchUp = 32799;
inline constexpr int SearchDown = 32790;
// Upload and download.
inline constexpr int Upload = 32768;
inline constexpr int UploadStop = 32771;
inline constexpr int Download = 32769;
inline constexpr int RetroDownload = 32775;
inline constexpr int DownloadEnd = 32770;
// Editor.
inline constexpr int MailCreate = 32791;
inline constexpr int MailView = 32793;
inline constexpr int ListView = 32792;
// Autopilot.
inline constexpr int AutoModeSettings = 32797;
inline constexpr int AutoModeStart = 32788;
inline constexpr int Connect = 32776;
inline constexpr int MailSend = 32779;
inline constexpr int ListRead = 32777;
inline constexpr int MailRead = 32778;
inline constexpr int AutoModeEnd = 32780;
// Settings.
inline constexpr int StationSettings = 32789;
inline constexpr int SendMailSelect = 32785;
inline constexpr int FieldSettings = 32784;
inline constexpr int LastMailNo = 32783;
inline constexpr int EditIni = 32796;
inline constexpr int ComPortSettings = 32794;
inline constexpr int EditorSettings = 32786;
inline constexpr int FileNameSettings = 32795;
inline constexpr int ViewToolbar = 59392;
inline constexpr int ViewStatusBar = 59393;
inline constexpr int FontSelect = 32798;
// Help.
inline constexpr int UserManual = 32787;
inline constexpr int AppAbout = 57664;
// Panes.
inline constexpr int NextPane = 57680;
inline constexpr int PrevPane = 57681;
// The clock pane of the status bar (the scroll-lock indicator's id).
inline constexpr int ClockPane = 59139;
}  // namespace nami::cmd
