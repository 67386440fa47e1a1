// The main window's way into the mailbox window: the command's handler and
// toolbar icon, and what a notice of mail to the station opens.
#pragma once

#include <QFont>

class QPainter;
class QWidget;

namespace nami {

class CCommandRouter;
class CSettings;

namespace icon {
void Mailbox(QPainter& p);
}  // namespace icon

// The terminal pane's fixed-pitch font, for the reader.
QFont MailReaderFont(const CSettings& settings);
// Opens (or raises) the mailbox window over the router's settings.
void OpenMailbox(CCommandRouter& router);
// The newest stored message to the station's call, -1 when none.
long long NewestMailToStation(const CSettings& settings);
// Opens the mailbox window on the newest message to the station.
void OpenOwnMail(CSettings& settings, QWidget* parent);

}  // namespace nami
