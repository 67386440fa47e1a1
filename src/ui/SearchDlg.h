// The search text dialog of the history pane: one line of up to 128
// characters. It only moves its text in and out; the pane decides what
// happens with it. The layout is given in dialog units.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace nami {

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

}  // namespace nami
