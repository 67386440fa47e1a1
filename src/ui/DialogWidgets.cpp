#include "ui/DialogWidgets.h"

#include <algorithm>

#include <QFontMetrics>

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include "text/Cp932.h"
#include "text/IniPath.h"
#include "ui/DialogHooks.h"
#include "settings/DialogValues.h"

namespace nami {

CByteLimitValidator::CByteLimitValidator(int limit, QLineEdit* edit)
    : QValidator(edit), limit_(limit), acceptedSize_(ToCp932(edit->text()).size()) {
  // The edit already holds the changed text while it is validated, so the
  // size before the change is kept from the last change that went through.
  QObject::connect(edit, &QLineEdit::textChanged, this,
                   [this](const QString& text) { acceptedSize_ = ToCp932(text).size(); });
}

QValidator::State CByteLimitValidator::validate(QString& input, int& /*pos*/) const {
  std::size_t size = ToCp932(input).size();
  if (size <= static_cast<std::size_t>(limit_)) return Acceptable;
  // Over the limit: allowed only when the change does not make it longer.
  return size <= acceptedSize_ ? Intermediate : Invalid;
}

void ShowFromStart(QLineEdit* edit) {
  if (edit) edit->setCursorPosition(0);
}

void ShowFromStart(QComboBox* box) {
  if (box->isEditable()) ShowFromStart(box->lineEdit());
}

QLineEdit* MakeEdit(QWidget* parent, const std::string& value, int limit) {
  auto* edit = new QLineEdit(FromCp932(value), parent);
  if (limit > 0) edit->setValidator(new CByteLimitValidator(limit, edit));
  ShowFromStart(edit);
  return edit;
}

QLineEdit* MakePathEdit(QWidget* parent, const std::string& cp932, int limit) {
  QLineEdit* edit = MakeEdit(parent, {}, limit);
  edit->setText(QFile::decodeName(IniPathToFs(cp932).c_str()));
  ShowFromStart(edit);
  return edit;
}

std::optional<std::string> PathFieldValue(QDialog* dialog, QLineEdit* field) {
  const QByteArray fsPath = QFile::encodeName(field->text());
  const std::string_view path(fsPath.constData(), static_cast<std::size_t>(fsPath.size()));
  std::optional<std::string> stored = FsPathToIni(path);
  if (!stored) {
    Hooks().message(dialog, QString::fromUtf8(UnstorablePathMessage(path).c_str()));
    field->setFocus(Qt::OtherFocusReason);
  }
  return stored;
}

QComboBox* MakeEditableList(QWidget* parent, const std::vector<std::string>& entries) {
  auto* box = new QComboBox(parent);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setCompleter(nullptr);  // typed text stays as typed
  for (const auto& e : entries) box->addItem(FromCp932(e));
  return box;
}

void SetListValue(QComboBox* box, const std::vector<std::string>& entries, const std::string& value) {
  int i = FindListEntry(entries, value);
  box->setCurrentIndex(i);
  if (i < 0) box->setEditText(FromCp932(value));
  ShowFromStart(box);
}

void SetExactListValue(QComboBox* box, const std::vector<std::string>& entries, const std::string& value) {
  const auto it = std::find(entries.begin(), entries.end(), value);
  box->setCurrentIndex(it == entries.end() ? -1 : static_cast<int>(it - entries.begin()));
  if (it == entries.end()) box->setEditText(FromCp932(value));
  ShowFromStart(box);
}

std::string ListValue(const QComboBox* box) { return ToCp932(box->currentText()); }

QDialogButtonBox* MakeOkCancel(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(dialog);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStringLiteral("ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

void RefuseTooLong(QDialog* dialog, QWidget* field, int limit) {
  Hooks().message(dialog, QString::fromStdString(LengthMessage(limit)));
  field->setFocus(Qt::OtherFocusReason);
}

QRect DialogUnits(const QWidget& dialog, int x, int y, int width, int height) {
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

}  // namespace nami
