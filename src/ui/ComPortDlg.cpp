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
#include "settings/LinkPasswords.h"
#include "text/FileFault.h"
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

namespace {
// The words NAMI.INI keeps for local echo and the serial connection, and
// how the dialog shows them; other text stays as typed.
constexpr std::pair<const char*, const char*> kShownWords[] = {
    {"enable", "有効"}, {"disable", "無効"}, {"no", "いいえ"}, {"yes", "はい"}};

bool Worded(ComField field) { return field == kComEcho || field == kComSerial; }

std::string Shown(const std::string& stored) {
  for (const auto& [word, shown] : kShownWords)
    if (stored == word) return ToCp932(QString::fromUtf8(shown));
  return stored;
}

std::string Stored(const std::string& shown) {
  for (const auto& [word, label] : kShownWords)
    if (shown == ToCp932(QString::fromUtf8(label))) return word;
  return shown;
}

std::vector<std::string> ShownEntries(ComField field) {
  std::vector<std::string> entries = ComPortEntries(field);
  if (Worded(field))
    for (std::string& e : entries) e = Shown(e);
  return entries;
}
}  // namespace

void CComPortDlg::BuildPortLists(QGridLayout& grid) {
  static const char* const labels[kComFieldCount] = {"ポートＩＤ(&I)",     "通信速度(&B)",       "パリテイー(&A)",
                                                     "ビット(&T)",         "ストップビット(&S)", "ＸＯＮスイッチ(&X)",
                                                     "ローカルエコー(&E)", "シリアル接続(&R)"};
  const ComPortValues values = LoadComPortValues(settings_);
  for (int i = 0; i < kComFieldCount; ++i) {
    auto field = static_cast<ComField>(i);
    lists_[field] = MakeEditableList(this, ShownEntries(field));
    SetListValue(lists_[field], ShownEntries(field), Worded(field) ? Shown(values[field]) : values[field]);
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
  auto* deviceLabel = new QLabel(QStringLiteral("デバイス(&D)"), this);
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
  ShowFromStart(myCall_);
  password_ = new QLineEdit(this);
  password_->setEchoMode(QLineEdit::Password);
  password_->setPlaceholderText(QStringLiteral("telnet: 変更する時だけ入力"));
  const std::pair<const char*, QWidget*> rows[] = {{"種類(&K)", kind_},         {"ホスト(&H)", host_},
                                                   {"TCPポート(&P)", tcpPort_}, {"無線ポート(&O)", radioPort_},
                                                   {"MYCALL(&M)", myCall_},     {"パスワード(&W)", password_}};
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
  // The line settings mean nothing to a link over the network.
  const bool serial = kind == 0 || kind == kKindKissSerial;
  for (ComField f : {kComSpeed, kComParity, kComDataBits, kComStopBits, kComFlow}) lists_[f]->setEnabled(serial);
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
  ShowFromStart(device_);
}

bool CComPortDlg::KeepPasswordInFile(const std::string& link, const QString& keyringError) {
  const std::string path = LinkPasswordFile(settings_.Path());
  const QString shown = QFile::decodeName(path.c_str());
  const QString question = QStringLiteral(
                               "パスワードをキーリングに保存できません (%1)。\n"
                               "ファイル %2 に書きますか? (あなただけが読めるファイルにします)")
                               .arg(keyringError, shown);
  if (!Hooks().ask || !Hooks().ask(this, question)) {
    Hooks().message(this, QStringLiteral("ファイル %1 に「%2 パスワード」の行を書き、chmod 600 にして下さい。")
                              .arg(shown, QString::fromStdString(link)));
    return false;
  }
  FileFault fault;
  if (WriteLinkPasswordFile(path, link, password_->text().toStdString(), fault)) return true;
  Hooks().message(this, QStringLiteral("%1 に書けません: %2").arg(shown, QString::fromStdString(FileFaultText(fault))));
  return false;
}

void CComPortDlg::accept() {
  ComPortValues values;
  for (int i = 0; i < kComFieldCount; ++i) {
    const std::string value = ListValue(lists_[i]);
    values[static_cast<std::size_t>(i)] = Worded(static_cast<ComField>(i)) ? Stored(value) : value;
  }
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
    if (!error.empty() && !KeepPasswordInFile(link.Text(), QString::fromStdString(error))) return;
  }
  if (myCall != settings_.MyCall()) settings_.SetMyCall(myCall);
  SaveComPortValues(settings_, values);
  SaveDeviceEdits(settings_, deviceEdits_);
  QDialog::accept();
}

}  // namespace nami
