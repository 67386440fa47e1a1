#include "ui/HistoryDialogs.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include "ui/NamiView2.h"

namespace nami {

QRect DialogUnitsRect(const QWidget& dialog, int x, int y, int width, int height) {
  // A dialog unit is a quarter of the average character width across and an
  // eighth of the character height down.
  const QFontMetrics fm(dialog.font());
  const int bx = std::max(fm.averageCharWidth(), 1);
  const int by = std::max(fm.height(), 1);
  return QRect(x * bx / 4, y * by / 8, width * bx / 4, height * by / 8);
}

namespace {

QPushButton* AddButton(QDialog* dialog, const QString& text, const QRect& rect) {
  auto* button = new QPushButton(text, dialog);
  button->setGeometry(rect);
  return button;
}

}  // namespace

CSearchDlg::CSearchDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("検索"));
  setFixedSize(DialogUnitsRect(*this, 0, 0, 187, 47).size());
  field_ = new QLineEdit(this);
  field_->setObjectName(QStringLiteral("searchText"));
  field_->setMaxLength(kMaxText);
  field_->setGeometry(DialogUnitsRect(*this, 7, 13, 117, 16));
  QPushButton* ok = AddButton(this, QStringLiteral("OK"), DialogUnitsRect(*this, 130, 7, 50, 14));
  QPushButton* cancel = AddButton(this, QStringLiteral("ｷｬﾝｾﾙ"), DialogUnitsRect(*this, 130, 24, 50, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  field_->setFocus();
}

void CSearchDlg::SetText(const QString& text) {
  field_->setText(text);
  field_->selectAll();
}

QString CSearchDlg::Text() const { return field_->text(); }

CLineEditDlg::CLineEditDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("ﾗｲﾝｴﾃﾞｨｯﾄ"));
  QFont dialogFont(PaneFontFamily(QString()));
  dialogFont.setPointSize(10);
  setFont(dialogFont);
  setFixedSize(DialogUnitsRect(*this, 0, 0, 297, 159).size());
  field_ = new QPlainTextEdit(this);
  field_->setObjectName(QStringLiteral("lineText"));
  field_->setGeometry(DialogUnitsRect(*this, 1, 7, 294, 133));
  field_->setLineWrapMode(QPlainTextEdit::NoWrap);
  field_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  field_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QPushButton* ok = AddButton(this, QStringLiteral("OK"), DialogUnitsRect(*this, 200, 142, 38, 14));
  QPushButton* cancel = AddButton(this, QStringLiteral("ｷｬﾝｾﾙ"), DialogUnitsRect(*this, 243, 142, 38, 14));
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
