// The line edit dialog of the history pane: the text to send, several
// lines of up to 65,536 characters, Enter inserting a line. It only moves
// its text in and out; the pane sends it. The layout is given in dialog units.
#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;

namespace nami {

class CLineEditDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kMaxText = 65536;
  explicit CLineEditDlg(QWidget* parent = nullptr);
  // Line ends are CR LF in both directions, as the text goes to the link.
  void SetText(const QString& text);
  QString Text() const;
  QPlainTextEdit* Field() const { return field_; }

 private:
  void EnforceLimit();
  QPlainTextEdit* field_;
};

}  // namespace nami
