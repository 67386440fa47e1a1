// Small widget helpers shared by the settings dialogs: edit fields limited
// in CP932 bytes while typing, the editable
// drop-down lists with their matching rule, and the OK / ｷｬﾝｾﾙ buttons.
#pragma once

#include <QRect>
#include <QString>
#include <QValidator>
#include <optional>
#include <string>
#include <vector>

#include "ui/QtText.h"

class QComboBox;
class QDialog;
class QDialogButtonBox;
class QLineEdit;
class QPushButton;
class QWidget;

namespace nami {

// Refuses typing that makes the edit's CP932 form longer than `limit`
// bytes. A longer text already there (from the file) can still be shortened.
class CByteLimitValidator : public QValidator {
 public:
  CByteLimitValidator(int limit, QLineEdit* edit);
  State validate(QString& input, int& pos) const override;

 private:
  int limit_;
  std::size_t acceptedSize_;  // CP932 size of the edit's text before the change
};

// Shows the start of the text in `edit` (the cursor at 0): a stored value
// longer than the field, or set before the field has its width, would else
// be scrolled out of view.
void ShowFromStart(QLineEdit* edit);
// The same for the edit part of an editable list.
void ShowFromStart(QComboBox* box);
// An edit field showing `value`; `limit` > 0 limits it while typing.
QLineEdit* MakeEdit(QWidget* parent, const std::string& value, int limit);
// An edit field for a path kept in NAMI.INI (`cp932` as stored).
QLineEdit* MakePathEdit(QWidget* parent, const std::string& cp932, int limit);
// The path in `field` as NAMI.INI stores it. When CP932 cannot hold it the
// user is told which name it is, the field gets the focus, and the result
// is empty (nullopt).
std::optional<std::string> PathFieldValue(QDialog* dialog, QLineEdit* field);
// An editable drop-down list with `entries` in this order, not sorted, that
// never adds typed text to its entries.
QComboBox* MakeEditableList(QWidget* parent, const std::vector<std::string>& entries);
// Shows `value`: selects the first entry beginning with it (case ignored),
// else puts the value into the edit part.
void SetListValue(QComboBox* box, const std::vector<std::string>& entries, const std::string& value);
// Shows `value`: selects the entry that is exactly the value, else puts the
// value into the edit part as typed text, so OK without a change keeps it.
void SetExactListValue(QComboBox* box, const std::vector<std::string>& entries, const std::string& value);
std::string ListValue(const QComboBox* box);
// "OK" (default) and "ｷｬﾝｾﾙ", wired to the dialog's accept() and reject().
QDialogButtonBox* MakeOkCancel(QDialog* dialog);
// Shows the length message through the message hook and focuses `field`.
void RefuseTooLong(QDialog* dialog, QWidget* field, int limit);

// Dialog units to pixels for the dialog's font: a quarter of the average
// character width across, an eighth of the character height down.
QRect DialogUnits(const QWidget& dialog, int x, int y, int width, int height);
// A push button of the dialog placed at `rect`.
QPushButton* AddButton(QDialog* dialog, const QString& text, const QRect& rect);

}  // namespace nami
