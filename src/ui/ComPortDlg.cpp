#include "ui/ComPortDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "link/LinkAddress.h"
#include "link/SerialDevices.h"
#include "link/Tnc2Engine.h"
#include "text/IniPath.h"
#include "ui/DialogHooks.h"
#include "ui/DialogWidgets.h"
#include "ui/LinkPasswords.h"

namespace nami {

CComPortDlg::CComPortDlg(QWidget* parent, CSettings& settings) : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("通信ポートの設定"));
  auto* grid = new QGridLayout;
  BuildPortLists(*grid);
  BuildDeviceList(*grid);
  BuildLinkFields(*grid);
  OnPortChanged(lists_[kComPort]->currentText());
  connect(lists_[kComPort], &QComboBox::currentTextChanged, this, &CComPortDlg::OnPortChanged);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(MakeOkCancel(this));
}

void CComPortDlg::BuildPortLists(QGridLayout& grid) {
  static const char* const labels[kComFieldCount] = {"ポートＩＤ",     "通信速度",       "パリテイー",
                                                     "ビット",         "ストップビット", "ＸＯＮスイッチ",
                                                     "ローカルエコー", "シリアル接続"};
  const ComPortValues values = LoadComPortValues(settings_);
  for (int i = 0; i < kComFieldCount; ++i) {
    auto field = static_cast<ComField>(i);
    lists_[field] = MakeEditableList(this, ComPortEntries(field));
    SetListValue(lists_[field], ComPortEntries(field), values[field]);
    auto* label = new QLabel(QString::fromUtf8(labels[i]), this);
    label->setBuddy(lists_[field]);
    grid.addWidget(label, i, 0);
    grid.addWidget(lists_[field], i, 1);
  }
}

void CComPortDlg::BuildDeviceList(QGridLayout& grid) {
  // The device the chosen COM name maps to, beside the port list.
  device_ = new QComboBox(this);
  device_->setEditable(true);
  device_->setInsertPolicy(QComboBox::NoInsert);
  device_->setMinimumContentsLength(28);
  for (const auto& path : FindSerialDevices()) device_->addItem(QString::fromStdString(path));
  // A KISS TNC on the network (Dire Wolf's and soundmodem's KISS TCP port);
  // "kiss:DEVICE" names one on a serial device.
  device_->addItem(QStringLiteral("kiss://localhost:8001"));
  auto* deviceLabel = new QLabel(QStringLiteral("デバイス"), this);
  deviceLabel->setBuddy(device_);
  grid.addWidget(deviceLabel, 0, 2);
  grid.addWidget(device_, 0, 3);
  grid.setColumnStretch(3, 1);
}

void CComPortDlg::BuildLinkFields(QGridLayout& grid) {
  // The link kinds beside the device list: choosing one writes the value.
  kind_ = new QComboBox(this);
  kind_->addItems({QStringLiteral("シリアル (TNC)"), QStringLiteral("AGWPE"), QStringLiteral("telnet"),
                   QStringLiteral("シミュレータ"), QStringLiteral("KISS (TCP)"), QStringLiteral("KISS (シリアル)")});
  host_ = new QLineEdit(QStringLiteral("localhost"), this);
  tcpPort_ = new QSpinBox(this);
  tcpPort_->setRange(1, 65535);
  tcpPort_->setValue(kAgwDefaultPort);
  radioPort_ = new QSpinBox(this);
  radioPort_->setRange(0, 255);
  myCall_ = new QLineEdit(QString::fromStdString(settings_.MyCall()), this);
  myCall_->setMaxLength(9);
  password_ = new QLineEdit(this);
  password_->setEchoMode(QLineEdit::Password);
  password_->setPlaceholderText(QStringLiteral("telnet: 変更する時だけ入力"));
  const std::pair<const char*, QWidget*> rows[] = {{"種類", kind_},         {"ホスト", host_},
                                                   {"TCPポート", tcpPort_}, {"無線ポート", radioPort_},
                                                   {"MYCALL", myCall_},     {"パスワード", password_}};
  int row = 1;
  for (const auto& [text, widget] : rows) {
    auto* label = new QLabel(QString::fromUtf8(text), this);
    label->setBuddy(widget);
    grid.addWidget(label, row, 2);
    grid.addWidget(widget, row, 3);
    ++row;
  }
  connect(kind_, &QComboBox::currentIndexChanged, this, [this] { ComposeDevice(); });
  connect(host_, &QLineEdit::textChanged, this, [this] { ComposeDevice(); });
  connect(tcpPort_, &QSpinBox::valueChanged, this, [this] { ComposeDevice(); });
  connect(radioPort_, &QSpinBox::valueChanged, this, [this] { ComposeDevice(); });
  connect(device_, &QComboBox::editTextChanged, this, [this](const QString& text) { ShowLinkFields(text); });
}

namespace {
// The rows of the kind list, in order.
constexpr int kKindAgw = 1, kKindTelnet = 2, kKindKissTcp = 4, kKindKissSerial = 5;
constexpr int kKissDefaultPort = 8001;

int KindIndex(const SLinkAddress& a) {
  switch (a.kind) {
    case LinkKind::Agw:
      return kKindAgw;
    case LinkKind::Telnet:
      return kKindTelnet;
    case LinkKind::Sim:
      return 3;
    case LinkKind::Kiss:
      return a.path.empty() ? kKindKissTcp : kKindKissSerial;
    case LinkKind::Serial:
    case LinkKind::Invalid:
      break;
  }
  return 0;
}
}  // namespace

void CComPortDlg::ShowLinkFields(const QString& device) {
  if (syncing_) return;
  syncing_ = true;
  const SLinkAddress a = ParseLinkAddress(device.toStdString());
  const int kind = KindIndex(a);
  kind_->setCurrentIndex(kind);
  if (kind == kKindAgw || kind == kKindTelnet || kind == kKindKissTcp) {
    host_->setText(QString::fromStdString(a.host));
    tcpPort_->setValue(a.port);
    radioPort_->setValue(a.radioPort);
  }
  const bool network = kind == kKindAgw || kind == kKindTelnet || kind == kKindKissTcp;
  host_->setEnabled(network);
  tcpPort_->setEnabled(network);
  radioPort_->setEnabled(kind == kKindAgw || kind == kKindKissTcp);  // the radio port or the KISS channel
  password_->setEnabled(kind == kKindTelnet);
  syncing_ = false;
}

void CComPortDlg::ComposeDevice() {
  if (syncing_) return;
  SLinkAddress a;
  const int kind = kind_->currentIndex();
  if (kind == 0) {  // a serial device: the list holds the choice
    if (device_->currentText().contains(QStringLiteral(":")))
      device_->setEditText(device_->count() > 0 ? device_->itemText(0) : QString());
    ShowLinkFields(device_->currentText());
    return;
  }
  static const LinkKind kinds[] = {LinkKind::Serial, LinkKind::Agw,  LinkKind::Telnet,
                                   LinkKind::Sim,    LinkKind::Kiss, LinkKind::Kiss};
  a.kind = kinds[kind];
  const SLinkAddress shown = ParseLinkAddress(device_->currentText().toStdString());
  if (kind == kKindKissSerial) {
    // KISS on a serial device: the device shown, else the first one listed.
    a.path = shown.kind == LinkKind::Kiss || shown.kind == LinkKind::Serial ? shown.path : std::string();
    for (int i = 0; a.path.empty() && i < device_->count(); ++i)
      if (device_->itemText(i).startsWith(QLatin1Char('/')))
        a.path = QFile::encodeName(device_->itemText(i)).toStdString();
    if (a.path.empty()) a.path = "/dev/ttyUSB0";
    device_->setEditText(QFile::decodeName(a.Text().c_str()));
    return;
  }
  a.host = host_->text().trimmed().toStdString();
  // A port number left at another kind's default follows the kind.
  int port = tcpPort_->value();
  if (KindIndex(shown) != kind && (port == kAgwDefaultPort || port == kTelnetDefaultPort || port == kKissDefaultPort))
    port = kind == kKindAgw ? kAgwDefaultPort : kind == kKindTelnet ? kTelnetDefaultPort : kKissDefaultPort;
  a.port = port;
  a.radioPort = radioPort_->value();
  device_->setEditText(QString::fromStdString(a.Text()));
}

void CComPortDlg::KeepDeviceEdit() {
  // Only a device the user changed is remembered: the names passed through
  // while a port name is typed get nothing.
  std::string path = QFile::encodeName(device_->currentText()).toStdString();
  if (!devicePort_.empty() && path != deviceShown_) deviceEdits_[devicePort_] = path;
}

void CComPortDlg::OnPortChanged(const QString& port) {
  KeepDeviceEdit();
  devicePort_ = ToCp932(port);
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
  const std::string device = device_->currentText().trimmed().toStdString();
  const SLinkAddress link = ParseLinkAddress(device);
  if (!device.empty() && link.kind == LinkKind::Invalid) {
    Hooks().message(this, QString::fromStdString(link.error));
    device_->setFocus();
    return;
  }
  const std::string myCall = myCall_->text().trimmed().toUpper().toStdString();
  if (!myCall.empty() && !CTnc2Engine::IsCall(myCall)) {
    Hooks().message(this, QStringLiteral("MYCALL \"%1\" はコールサインではありません").arg(myCall_->text()));
    myCall_->setFocus();
    return;
  }
  // A device path NAMI.INI cannot hold is refused (link values are ASCII).
  KeepDeviceEdit();
  for (const auto& [port, path] : deviceEdits_) {
    if (FsPathToIni(path)) continue;
    Hooks().message(this, QString::fromUtf8(UnstorablePathMessage(path).c_str()));
    device_->setFocus(Qt::OtherFocusReason);
    return;
  }
  if (link.kind == LinkKind::Telnet && !password_->text().isEmpty()) {
    const std::string error = StoreLinkPassword(link.Text(), password_->text().toStdString());
    if (!error.empty()) {
      Hooks().message(this, QStringLiteral("パスワードをキーリングに保存できません (%1)。\n"
                                           "NAMI.INI と同じフォルダのファイル link-passwords に\n"
                                           "「%2 パスワード」の行を書き、chmod 600 にして下さい。")
                                .arg(QString::fromStdString(error), QString::fromStdString(link.Text())));
      return;
    }
  }
  if (myCall != settings_.MyCall()) settings_.SetMyCall(myCall);
  SaveComPortValues(settings_, values);
  SaveDeviceEdits(settings_, deviceEdits_);
  QDialog::accept();
}

}  // namespace nami
