// The toolbar's small icons (16 x 15), drawn in code so they stay crisp
// and need no image files; and the program icon. A command's row names the
// painter of its icon.
#pragma once

#include <QIcon>

#include "ui/CommandTable.h"

namespace nami {

namespace icon {
void Upload(QPainter& p);
void Download(QPainter& p);
void RetroDownload(QPainter& p);
void Connect(QPainter& p);
void ListRead(QPainter& p);
void MailRead(QPainter& p);
void MailSend(QPainter& p);
void AutoModeEnd(QPainter& p);
void AutoModeStart(QPainter& p);
void AutoModeSettings(QPainter& p);
void ListView(QPainter& p);
void MailView(QPainter& p);
void MailCreate(QPainter& p);
void SendMailSelect(QPainter& p);
void UserManual(QPainter& p);
}  // namespace icon

// A toolbar icon drawn by `paint`.
QIcon ToolIcon(IconPainter paint);
QIcon AppIcon();

}  // namespace nami
