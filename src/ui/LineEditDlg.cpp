#include "ui/LineEditDlg.h"

#include "ui/DialogWidgets.h"

#include "ui/Fonts.h"

#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextCursor>
#include <algorithm>

#include "ui/NamiView2.h"

namespace nami {

CLineEditDlg::CLineEditDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("ﾗｲﾝｴﾃﾞｨｯﾄ"));
  QFont dialogFont(ResolveFontFamily(QString()));
  dialogFont.setPointSize(10);
  setFont(dialogFont);
  setFixedSize(DialogUnits(*this, 0, 0, 297, 159).size());
  field_ = new QPlainTextEdit(this);
  field_->setObjectName(QStringLiteral("lineText"));
  field_->setGeometry(DialogUnits(*this, 1, 7, 294, 133));
  field_->setLineWrapMode(QPlainTextEdit::NoWrap);
  field_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  field_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QPushButton* ok = AddButton(this, QStringLiteral("OK"), DialogUnits(*this, 200, 142, 38, 14));
  QPushButton* cancel = AddButton(this, QStringLiteral("ｷｬﾝｾﾙ"), DialogUnits(*this, 243, 142, 38, 14));
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
