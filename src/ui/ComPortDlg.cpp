#include "ui/ComPortDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "text/IniPath.h"
#include "ui/DialogHooks.h"
#include "ui/DialogWidgets.h"

namespace nami {

CComPortDlg::CComPortDlg(QWidget* parent, CSettings& settings) : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("通信ポートの設定"));
  static const char* const labels[kComFieldCount] = {"ポートＩＤ",     "通信速度",       "パリテイー",
                                                     "ビット",         "ストップビット", "ＸＯＮスイッチ",
                                                     "ローカルエコー", "シリアル接続"};
  const ComPortValues values = LoadComPortValues(settings_);

  auto* grid = new QGridLayout;
  for (int i = 0; i < kComFieldCount; ++i) {
    auto field = static_cast<ComField>(i);
    lists_[field] = MakeEditableList(this, ComPortEntries(field));
    SetListValue(lists_[field], ComPortEntries(field), values[field]);
    auto* label = new QLabel(QString::fromUtf8(labels[i]), this);
    label->setBuddy(lists_[field]);
    grid->addWidget(label, i, 0);
    grid->addWidget(lists_[field], i, 1);
  }

  // The device the chosen COM name maps to, beside the port list.
  device_ = new QComboBox(this);
  device_->setEditable(true);
  device_->setInsertPolicy(QComboBox::NoInsert);
  device_->setMinimumContentsLength(28);
  for (const auto& path : FindSerialDevices()) device_->addItem(QString::fromStdString(path));
  auto* deviceLabel = new QLabel(QStringLiteral("デバイス"), this);
  deviceLabel->setBuddy(device_);
  grid->addWidget(deviceLabel, 0, 2);
  grid->addWidget(device_, 0, 3);
  grid->setColumnStretch(3, 1);
  OnPortChanged(lists_[kComPort]->currentText());
  connect(lists_[kComPort], &QComboBox::currentTextChanged, this, &CComPortDlg::OnPortChanged);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(MakeOkCancel(this));
}

void CComPortDlg::KeepDeviceEdit() {
  // Only a device the user changed is remembered: the names passed through
  // while a port name is typed get nothing.
  std::string path = QFile::encodeName(device_->currentText()).toStdString();
  if (!devicePort_.empty() && path != deviceShown_) deviceEdits_[devicePort_] = path;
}

void CComPortDlg::OnPortChanged(const QString& port) {
  KeepDeviceEdit();
  devicePort_ = ToSjis(port);
  device_->setEnabled(!devicePort_.empty());
  auto it = deviceEdits_.find(devicePort_);
  deviceShown_ = it != deviceEdits_.end() ? it->second : settings_.DevicePath(devicePort_);
  device_->setEditText(QFile::decodeName(deviceShown_.c_str()));
}

void CComPortDlg::accept() {
  ComPortValues values;
  for (int i = 0; i < kComFieldCount; ++i) values[static_cast<std::size_t>(i)] = ListValue(lists_[i]);
  if (auto fault = CheckComPortValues(values)) {
    RefuseTooLong(this, lists_[fault->field], fault->limit);
    return;
  }
  KeepDeviceEdit();
  for (const auto& [port, path] : deviceEdits_) {
    if (FsPathToIni(path)) continue;
    Hooks().message(this, QString::fromUtf8(UnstorablePathMessage(path).c_str()));
    device_->setFocus(Qt::OtherFocusReason);
    return;
  }
  SaveComPortValues(settings_, values);
  SaveDeviceEdits(settings_, deviceEdits_);
  QDialog::accept();
}

}  // namespace nami
