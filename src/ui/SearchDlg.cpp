#include "ui/SearchDlg.h"

#include "ui/DialogWidgets.h"
#include "ui/Fonts.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace nami {

CSearchDlg::CSearchDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("検索"));
  setFont(DialogFont());
  setFixedSize(DialogUnits(*this, 0, 0, 187, 47).size());
  field_ = new QLineEdit(this);
  field_->setObjectName(QStringLiteral("searchText"));
  field_->setMaxLength(kMaxText);
  field_->setGeometry(DialogUnits(*this, 7, 13, 117, 16));
  QPushButton* ok = AddButton(this, QStringLiteral("OK"), DialogUnits(*this, 130, 7, 50, 14));
  QPushButton* cancel = AddButton(this, QStringLiteral("ｷｬﾝｾﾙ"), DialogUnits(*this, 130, 24, 50, 14));
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
