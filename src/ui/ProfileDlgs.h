// The dialogs that edit what the autopilot needs to know about the BBS
// profile: station, auto-mode steps, list fields, last mail number, mails to
// send and the log file names. Each fills itself from the values of
// settings/DialogValues when it opens and writes all of them on OK.
#pragma once

#include <QDialog>
#include <array>

#include "autopilot/RunState.h"
#include "settings/DialogValues.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class QPushButton;

namespace nami {

class CNamiDoc;

class CStationDlg : public QDialog {
  Q_OBJECT
 public:
  CStationDlg(QWidget* parent, CSettings& settings);
  // Edit fields in the order of StationKeys().
  QLineEdit* Edit(int i) const { return edits_[static_cast<std::size_t>(i)]; }
  void accept() override;

 private:
  CSettings& settings_;
  std::array<QLineEdit*, kStationFieldCount> edits_{};
};

class CAutoModeDlg : public QDialog {
  Q_OBJECT
 public:
  CAutoModeDlg(QWidget* parent, CNamiDoc& doc, CRunState& run);
  QCheckBox* List() const { return list_; }
  QCheckBox* Read() const { return read_; }
  QCheckBox* Send() const { return send_; }
  // The profile's "watchdog": seconds without a byte from the port before
  // a waiting run ends as no answer (0 = off).
  QSpinBox* Watchdog() const { return watchdog_; }
  void accept() override;

 private:
  CNamiDoc& doc_;
  CRunState& run_;
  QCheckBox* list_ = nullptr;
  QCheckBox* read_ = nullptr;
  QCheckBox* send_ = nullptr;
  QSpinBox* watchdog_ = nullptr;
};

class CFieldDlg : public QDialog {
  Q_OBJECT
 public:
  CFieldDlg(QWidget* parent, CSettings& settings);
  QComboBox* Field(int i) const { return fields_[static_cast<std::size_t>(i)]; }
  QLineEdit* LimitLength() const { return limitLength_; }
  QCheckBox* LimitMode() const { return limitMode_; }
  QComboBox* LimitModel() const { return limitModel_; }
  void accept() override;

 private:
  CSettings& settings_;
  std::array<QComboBox*, 5> fields_{};
  QLineEdit* limitLength_ = nullptr;
  QCheckBox* limitMode_ = nullptr;
  QComboBox* limitModel_ = nullptr;
};

class CLastMailNoDlg : public QDialog {
  Q_OBJECT
 public:
  CLastMailNoDlg(QWidget* parent, CSettings& settings);
  QLineEdit* Edit() const { return edit_; }
  void accept() override;

 private:
  CSettings& settings_;
  QLineEdit* edit_ = nullptr;
};

class CSendMailDlg : public QDialog {
  Q_OBJECT
 public:
  CSendMailDlg(QWidget* parent, CSettings& settings);
  // Row 1..5.
  QLineEdit* Edit(int row) const { return edits_[static_cast<std::size_t>(row - 1)]; }
  QPushButton* BrowseButton(int row) const { return browse_[static_cast<std::size_t>(row - 1)]; }
  // The "参照" button of a row: the file-open dialog; a chosen file's full
  // path replaces the row's text.
  void Browse(int row);
  void accept() override;

  // "Upload Files (*.upl)" first, then all, download and ish files.
  static QString BrowseFilter();

 private:
  CSettings& settings_;
  std::array<QLineEdit*, 5> edits_{};
  std::array<QPushButton*, 5> browse_{};
};

class CFileNameDlg : public QDialog {
  Q_OBJECT
 public:
  CFileNameDlg(QWidget* parent, CSettings& settings);
  QLineEdit* MailFile() const { return mail_; }
  QLineEdit* ListFile() const { return list_; }
  void accept() override;

 private:
  CSettings& settings_;
  QLineEdit* mail_ = nullptr;
  QLineEdit* list_ = nullptr;
};

class CEditorDlg : public QDialog {
  Q_OBJECT
 public:
  CEditorDlg(QWidget* parent, CSettings& settings);
  QLineEdit* Edit() const { return edit_; }
  void accept() override;

 private:
  CSettings& settings_;
  QLineEdit* edit_ = nullptr;
};

}  // namespace nami
