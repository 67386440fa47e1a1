#include "ui/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygon>

namespace nami {
namespace {

const QColor kInk(40, 40, 40);
const QColor kBlue(30, 90, 200);
const QColor kGreen(20, 140, 60);
const QColor kRed(200, 40, 40);
const QColor kPaper(250, 250, 240);

void Arrow(QPainter& p, bool up, QColor c, int x) {
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  if (up)
    p.drawPolygon(QPolygon({QPoint(x, 1), QPoint(x + 5, 6), QPoint(x + 2, 6), QPoint(x + 2, 10), QPoint(x - 2, 10),
                            QPoint(x - 2, 6), QPoint(x - 5, 6)}));
  else
    p.drawPolygon(QPolygon({QPoint(x, 10), QPoint(x + 5, 5), QPoint(x + 2, 5), QPoint(x + 2, 1), QPoint(x - 2, 1),
                            QPoint(x - 2, 5), QPoint(x - 5, 5)}));
}

void Disk(QPainter& p) {
  p.setPen(kInk);
  p.setBrush(QColor(120, 120, 140));
  p.drawRect(3, 10, 10, 4);
}

void Page(QPainter& p, QColor lines) {
  p.setPen(kInk);
  p.setBrush(kPaper);
  p.drawRect(3, 1, 10, 13);
  p.setPen(lines);
  for (int y = 4; y <= 11; y += 2) p.drawLine(5, y, 11, y);
}

void Letter(QPainter& p, QColor c) {
  p.setPen(kInk);
  p.setBrush(kPaper);
  p.drawRect(1, 3, 14, 9);
  p.setPen(c);
  p.drawLine(1, 3, 8, 8);
  p.drawLine(8, 8, 15, 3);
}

}  // namespace

namespace icon {

void Upload(QPainter& p) {
  Disk(p);
  Arrow(p, true, kBlue, 8);
}

void Download(QPainter& p) {
  Disk(p);
  Arrow(p, false, kGreen, 8);
}

void RetroDownload(QPainter& p) {
  Disk(p);
  Arrow(p, false, kGreen, 10);
  p.setPen(QPen(kGreen, 1.5));
  p.drawArc(1, 1, 8, 8, 90 * 16, 180 * 16);
}

void Connect(QPainter& p) {
  p.setPen(QPen(kInk, 1.5));
  p.drawLine(2, 13, 5, 3);
  p.drawLine(8, 13, 5, 3);
  p.setPen(QPen(kBlue, 1.2));
  p.drawArc(7, 1, 6, 6, -60 * 16, 120 * 16);
  p.drawArc(6, -1, 10, 10, -60 * 16, 120 * 16);
}

void ListRead(QPainter& p) {
  Page(p, kBlue);
  Arrow(p, false, kGreen, 12);
}

void MailRead(QPainter& p) {
  Letter(p, kBlue);
  Arrow(p, false, kGreen, 12);
}

void MailSend(QPainter& p) {
  Letter(p, kBlue);
  Arrow(p, true, kRed, 12);
}

void AutoModeEnd(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kRed);
  p.drawRect(3, 2, 10, 10);
}

void AutoModeStart(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kGreen);
  p.drawPolygon(QPolygon({QPoint(4, 1), QPoint(13, 7), QPoint(4, 13)}));
}

void AutoModeSettings(QPainter& p) {
  p.setPen(QPen(kInk, 2));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(4, 3, 8, 8);
  for (int a = 0; a < 4; ++a) {
    p.save();
    p.translate(8, 7);
    p.rotate(45 * a);
    p.drawLine(0, -7, 0, 7);
    p.restore();
  }
  p.setBrush(kPaper);
  p.drawEllipse(6, 5, 4, 4);
}

void ListView(QPainter& p) { Page(p, kBlue); }

void MailView(QPainter& p) { Letter(p, kGreen); }

void MailCreate(QPainter& p) {
  Page(p, QColor(160, 160, 160));
  p.setPen(QPen(kRed, 2));
  p.drawLine(7, 12, 14, 3);
}

void SendMailSelect(QPainter& p) {
  Letter(p, kBlue);
  p.setPen(QPen(kGreen, 2));
  p.drawLine(9, 11, 11, 13);
  p.drawLine(11, 13, 15, 8);
}

void UserManual(QPainter& p) {
  p.setPen(kInk);
  p.setBrush(QColor(255, 230, 120));
  p.drawEllipse(1, 0, 14, 14);
  QFont f = p.font();
  f.setPixelSize(11);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(1, 0, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
}

}  // namespace icon

QIcon ToolIcon(IconPainter paint) {
  QPixmap pm(16, 15);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  paint(p);
  return QIcon(pm);
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 70, 150));
    p.drawRoundedRect(2, 2, 60, 60, 10, 10);
    QPainterPath wave;
    wave.moveTo(8, 40);
    wave.cubicTo(20, 20, 32, 20, 36, 34);
    wave.cubicTo(40, 46, 52, 44, 56, 30);
    p.setPen(QPen(QColor(230, 245, 255), 6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    icon.addPixmap(pm);
  }
  return icon;
}

}  // namespace nami
