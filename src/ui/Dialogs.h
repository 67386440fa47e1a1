// The settings dialogs, the editor commands, the user manual and the
// version box, as the application calls them.
#pragma once

#include <QString>

class QWidget;

namespace nami {

class CSettings;
class CNamiDoc;
class CRunState;

// Each returns true when the user pressed OK (and the values were written).
bool RunComPortDialog(QWidget* parent, CSettings& settings);             // CComPortDlg
bool RunStationDialog(QWidget* parent, CSettings& settings);             // CStationDlg
bool RunAutoModeDialog(QWidget* parent, CNamiDoc& doc, CRunState& run);  // CAutoModeDlg
bool RunFieldDialog(QWidget* parent, CSettings& settings);               // CFieldDlg
bool RunLastMailNoDialog(QWidget* parent, CSettings& settings);          // CLastMailNoDlg
bool RunSendMailDialog(QWidget* parent, CSettings& settings);            // CSendMailDlg
bool RunFileNameDialog(QWidget* parent, CSettings& settings);            // CFileNameDlg
bool RunEditorDialog(QWidget* parent, CSettings& settings);              // CEditorDlg

// Editor commands (show their own message on failure).
void EditNewMail(QWidget* parent, CSettings& settings);  // "%y%m%d.UPL" in the current directory
void ViewMailLog(QWidget* parent, CSettings& settings);
void ViewListLog(QWidget* parent, CSettings& settings);
void EditSettingsFile(QWidget* parent, CSettings& settings);
// The HTML user manual in the desktop's browser.
void OpenUserManual(QWidget* parent);
// The version box ("Nami のﾊﾞｰｼﾞｮﾝ情報").
void ShowAboutBox(QWidget* parent, const QString& iniPath);
// The about box's text: version, licence, Qt version, the settings file in use.
QString AboutText(const QString& iniPath);

}  // namespace nami
