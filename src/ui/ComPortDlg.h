// "通信ポートの設定": the port string, local echo and serial connection of
// the profile, and the device each COM name stands for on this machine: a
// serial device, or a link to an AGWPE server, a telnet BBS or the built-in
// simulator (kind, host, TCP port and radio port compose the value), with
// the station's MYCALL and a telnet link's password.
#pragma once

#include <QDialog>
#include <array>
#include <map>
#include <string>

#include "settings/DialogValues.h"

class QComboBox;
class QGridLayout;
class QLineEdit;
class QSpinBox;

namespace nami {

class CComPortDlg : public QDialog {
  Q_OBJECT
 public:
  // Reads the profile (storing the default "comstatus" at once when missing).
  CComPortDlg(QWidget* parent, CSettings& settings);

  QComboBox* List(ComField field) const { return lists_[field]; }
  QComboBox* DeviceList() const { return device_; }
  QComboBox* KindList() const { return kind_; }
  QLineEdit* HostEdit() const { return host_; }
  QSpinBox* TcpPortBox() const { return tcpPort_; }
  QSpinBox* RadioPortBox() const { return radioPort_; }
  QLineEdit* MyCallEdit() const { return myCall_; }

  // Checks the lengths and writes on success; else keeps the dialog open.
  void accept() override;

 private:
  // The dialog's columns: the port settings, the device, the link's fields.
  void BuildPortLists(QGridLayout& grid);
  void BuildDeviceList(QGridLayout& grid);
  void BuildLinkFields(QGridLayout& grid);
  void OnPortChanged(const QString& port);
  void KeepDeviceEdit();
  // The link fields from the device value, and the value from the fields.
  void ShowLinkFields(const QString& device);
  void ComposeDevice();

  CSettings& settings_;
  // The keyring refused the password: offers to keep it in the
  // link-passwords file beside NAMI.INI; false when it was not kept.
  bool KeepPasswordInFile(const std::string& link, const QString& keyringError);
  std::array<QComboBox*, kComFieldCount> lists_{};
  QComboBox* device_ = nullptr;
  QComboBox* kind_ = nullptr;
  QLineEdit* host_ = nullptr;
  QSpinBox* tcpPort_ = nullptr;
  QSpinBox* radioPort_ = nullptr;
  QLineEdit* myCall_ = nullptr;
  QLineEdit* password_ = nullptr;
  bool syncing_ = false;
  std::map<std::string, std::string> deviceEdits_;  // by port name
  std::string devicePort_;                          // the port the device field shows
  std::string deviceShown_;                         // what it showed for that port
};

}  // namespace nami
