// "通信ポートの設定": the port string, local echo and serial connection of
// the profile, and the device each COM name stands for on this machine.
#pragma once

#include <QDialog>
#include <array>
#include <map>
#include <string>

#include "ui/DialogLogic.h"

class QComboBox;

namespace nami {

class CComPortDlg : public QDialog {
  Q_OBJECT
 public:
  // Reads the profile (storing the default "comstatus" at once when missing).
  CComPortDlg(QWidget* parent, CSettings& settings);

  QComboBox* List(ComField field) const { return lists_[field]; }
  QComboBox* DeviceList() const { return device_; }

  // Checks the lengths and writes on success; else keeps the dialog open.
  void accept() override;

 private:
  void OnPortChanged(const QString& port);
  void KeepDeviceEdit();

  CSettings& settings_;
  std::array<QComboBox*, kComFieldCount> lists_{};
  QComboBox* device_ = nullptr;
  std::map<std::string, std::string> deviceEdits_;  // by port name
  std::string devicePort_;                          // the port the device field shows
  std::string deviceShown_;                         // what it showed for that port
};

}  // namespace nami
