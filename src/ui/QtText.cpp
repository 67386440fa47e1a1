#include "ui/QtText.h"

#include <QMessageBox>

namespace nami {
namespace {

QMessageBox* MakeBox(QWidget* parent, const QString& text) {
  return new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Nami"), text, QMessageBox::Ok, parent);
}

}  // namespace

void OpenMessageBox(QWidget* parent, const QString& text) {
  QMessageBox* box = MakeBox(parent, text);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

void RunMessageBox(QWidget* parent, const QString& text) {
  QMessageBox* box = MakeBox(parent, text);
  box->exec();
  delete box;
}

}  // namespace nami
