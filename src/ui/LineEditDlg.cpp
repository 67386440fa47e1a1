#include "ui/LineEditDlg.h"

#include "ui/Fonts.h"

#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextCursor>
#include <algorithm>

#include "ui/NamiView2.h"

namespace nami {

namespace {

// Dialog units to pixels for the dialog's font: a quarter of the average
// character width across, an eighth of the character height down.
QRect Du(const QWidget& dialog, int x, int y, int width, int height) {
  const QFontMetrics fm(dialog.font());
  const int bx = std::max(fm.averageCharWidth(), 1);
  const int by = std::max(fm.height(), 1);
  return QRect(x * bx / 4, y * by / 8, width * bx / 4, height * by / 8);
}

QPushButton* AddButton(QDialog* dialog, const QString& text, const QRect& rect) {
  auto* button = new QPushButton(text, dialog);
  button->setGeometry(rect);
  return button;
}

}  // namespace

CLineEditDlg::CLineEditDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("ﾗｲﾝｴﾃﾞｨｯﾄ"));
  QFont dialogFont(ResolveFontFamily(QString()));
  dialogFont.setPointSize(10);
  setFont(dialogFont);
  setFixedSize(Du(*this, 0, 0, 297, 159).size());
  field_ = new QPlainTextEdit(this);
  field_->setObjectName(QStringLiteral("lineText"));
  field_->setGeometry(Du(*this, 1, 7, 294, 133));
  field_->setLineWrapMode(QPlainTextEdit::NoWrap);
  field_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  field_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QPushButton* ok = AddButton(this, QStringLiteral("OK"), Du(*this, 200, 142, 38, 14));
  QPushButton* cancel = AddButton(this, QStringLiteral("ｷｬﾝｾﾙ"), Du(*this, 243, 142, 38, 14));
  // Enter in the text inserts a line (the editor takes the key); OK stays
  // the default for Enter elsewhere.
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(field_, &QPlainTextEdit::textChanged, this, &CLineEditDlg::EnforceLimit);
  field_->setFocus();
}

void CLineEditDlg::SetText(const QString& text) {
  QString plain = text;
  plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  field_->setPlainText(plain);
}

QString CLineEditDlg::Text() const {
  QString text = field_->toPlainText();
  text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return text;
}

void CLineEditDlg::EnforceLimit() {
  const QString text = field_->toPlainText();
  if (text.size() <= kMaxText) return;
  QSignalBlocker block(field_);
  field_->setPlainText(text.left(kMaxText));
  field_->moveCursor(QTextCursor::End);
}

}  // namespace nami
