// The history pane's two dialogs: the search text (CSearchDlg) and the
// editor of the text to send (CLineEditDlg). Both only move their text in
// and out; the pane decides what happens with it. Layouts are given in
// dialog units and converted with the dialog font's metrics.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPlainTextEdit;

namespace nami {

// Converts dialog units to pixels for a dialog's font.
QRect DialogUnitsRect(const QWidget& dialog, int x, int y, int width, int height);

class CSearchDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kMaxText = 128;
  explicit CSearchDlg(QWidget* parent = nullptr);
  void SetText(const QString& text);
  QString Text() const;
  QLineEdit* Field() const { return field_; }

 private:
  QLineEdit* field_;
};

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
