#include "ui/SearchDlg.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

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

CSearchDlg::CSearchDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("検索"));
  setFixedSize(Du(*this, 0, 0, 187, 47).size());
  field_ = new QLineEdit(this);
  field_->setObjectName(QStringLiteral("searchText"));
  field_->setMaxLength(kMaxText);
  field_->setGeometry(Du(*this, 7, 13, 117, 16));
  QPushButton* ok = AddButton(this, QStringLiteral("OK"), Du(*this, 130, 7, 50, 14));
  QPushButton* cancel = AddButton(this, QStringLiteral("ｷｬﾝｾﾙ"), Du(*this, 130, 24, 50, 14));
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

}  // namespace nami
