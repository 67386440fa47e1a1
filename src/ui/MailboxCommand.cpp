#include "ui/MailboxCommand.h"

#include <QPainter>

#include "mailbox/MailStore.h"
#include "mailwin/MailboxWindow.h"
#include "qt/Cp932String.h"
#include "settings/Settings.h"
#include "text/Cp932.h"
#include "ui/CommandRouter.h"
#include "ui/Fonts.h"

namespace nami {

namespace icon {
// A letter in a tray.
void Mailbox(QPainter& p) {
  p.setPen(QColor(40, 40, 40));
  p.setBrush(QColor(250, 250, 240));
  p.drawRect(3, 1, 10, 7);
  p.setPen(QColor(30, 90, 200));
  p.drawLine(3, 1, 8, 5);
  p.drawLine(8, 5, 13, 1);
  p.setPen(QColor(40, 40, 40));
  p.setBrush(QColor(120, 120, 140));
  p.drawPolygon(QPolygon({QPoint(1, 8), QPoint(5, 8), QPoint(6, 10), QPoint(10, 10), QPoint(11, 8), QPoint(15, 8),
                          QPoint(15, 14), QPoint(1, 14)}));
}
}  // namespace icon

QFont MailReaderFont(const CSettings& settings) {
  return MakeTerminalFont(FromCp932(settings.Get(keys::FontName)), settings.GetInt(keys::FontSize));
}

void OpenMailbox(CCommandRouter& router) {
  OpenMailboxWindow(router.Settings(), MailReaderFont(router.Settings()), router.Window());
}

long long NewestMailToStation(const CSettings& settings) {
  mailbox::CMailStore store(mailbox::CMailStore::PathBeside(settings.Path()));
  if (store.Open()) return -1;
  mailbox::SViewQuery q;
  q.profile = Cp932ToUtf8(settings.ProfileSection());
  q.folder = "inbox";
  q.toCall = Cp932ToUtf8(settings.MyCall());
  if (q.toCall.empty()) return -1;
  std::vector<std::int64_t> ids;
  std::vector<mailbox::SHeaderRow> rows;
  if (store.ViewIds(q, ids) || ids.empty() || store.HeadersByIds(q.table, ids.data(), 1, rows) || rows.empty())
    return -1;
  return rows[0].number;
}

void OpenOwnMail(CSettings& settings, QWidget* parent) {
  OpenMailboxWindow(settings, MailReaderFont(settings), parent, NewestMailToStation(settings));
}

}  // namespace nami
