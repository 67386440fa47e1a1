#include "ui/MessageBox.h"

#include <QMessageBox>

namespace nami {

void OpenMessageBox(QWidget* parent, const QString& text) {
  auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Nami"), text, QMessageBox::Ok, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

}  // namespace nami
