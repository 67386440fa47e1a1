#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

#include "ui/ComPortDlg.h"
#include "ui/DialogTestSupport.h"

namespace nami {
namespace {

using test::DialogTest;

class DialogComPortTest : public DialogTest {
 protected:
  static std::vector<std::string> Shown(const CComPortDlg& dlg) {
    std::vector<std::string> out;
    for (int i = 0; i < kComFieldCount; ++i)
      out.push_back(dlg.List(static_cast<ComField>(i))->currentText().toStdString());
    return out;
  }
  // The field, or the edit part inside it, holds the focus.
  static bool Focused(const QDialog& dlg, const QWidget* field) {
    const QWidget* w = dlg.focusWidget();
    return w && (w == field || field->isAncestorOf(w));
  }
  static void Type(CComPortDlg& dlg, ComField field, const char* text) {
    dlg.List(field)->setEditText(QString::fromUtf8(text));
  }
};

TEST_F(DialogComPortTest, NewProfileStoresDefaultAtOnceAndOkNormalisesIt) {
  CComPortDlg dlg(nullptr, settings);
  EXPECT_EQ(settings.Raw(keys::ComStatus), "COM2:9600,n,8,1,n");  // already written when shown
  EXPECT_EQ(Shown(dlg), (std::vector<std::string>{"COM2", "9600", "N", "8", "1", "N", "無効", "いいえ"}));

  dlg.accept();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(settings.Raw(keys::ComStatus), "COM2:9600,N,8,1,N");
  EXPECT_EQ(settings.Raw(keys::Echo), "disable");
  EXPECT_EQ(settings.Raw(keys::Serial), "no");
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(DialogComPortTest, ListsKeepTheirEntriesInOrderAndOkWritesPortEchoSerial) {
  test::RecordingFileOps ops;
  CSettings recorded(dir.File("ORDER.INI"), ops);
  CComPortDlg dlg(nullptr, recorded);
  const std::vector<std::vector<std::string>> entries = {
      {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9"},
      {"300", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"},
                                                         {"N", "E", "O"},
                                                         {"8", "7"},
                                                         {"1", "2", "3"},
                                                         {"X", "H", "N"},
                                                         {"有効", "無効"},
                                                         {"いいえ", "はい"}};
  for (int f = 0; f < kComFieldCount; ++f) {
    std::vector<std::string> shown;
    for (int i = 0; i < dlg.List(static_cast<ComField>(f))->count(); ++i)
      shown.push_back(dlg.List(static_cast<ComField>(f))->itemText(i).toStdString());
    EXPECT_EQ(shown, entries[static_cast<std::size_t>(f)]) << f;
  }
  Type(dlg, kComSerial, "はい");
  dlg.accept();
  EXPECT_EQ(recorded.Raw(keys::Serial), "yes") << "NAMI.INI keeps its own words";
  EXPECT_EQ(ops.WrittenKeys(), (std::vector<std::string>{"comstatus", "comstatus", "echo", "serial"}));
  // Typed text never joins the list.
  EXPECT_EQ(dlg.List(kComSerial)->count(), 2);
}

TEST_F(DialogComPortTest, CancelKeepsOnlyTheDefault) {
  {
    CComPortDlg dlg(nullptr, settings);
    Type(dlg, kComPort, "COM3");
    Type(dlg, kComEcho, "enable");
    dlg.reject();
  }
  EXPECT_EQ(settings.Raw(keys::ComStatus), "COM2:9600,n,8,1,n");
  EXPECT_FALSE(settings.Has(keys::Echo));
  EXPECT_FALSE(settings.Has(keys::Serial));

  // A stored configuration stays as it was on cancel.
  settings.Set(keys::ComStatus, "COM1:300,E,7,2,X");
  CComPortDlg dlg(nullptr, settings);
  Type(dlg, kComSpeed, "1200");
  dlg.reject();
  EXPECT_EQ(settings.Raw(keys::ComStatus), "COM1:300,E,7,2,X");
}

TEST_F(DialogComPortTest, StoredValuesSelectEntriesIgnoringCaseAndTypedValuesAreKept) {
  settings.Set(keys::ComStatus, "com1:19200,e,7,2,x");
  settings.Set(keys::Echo, "Enable");  // only "enable" exactly means on
  settings.Set(keys::Serial, "yes");
  CComPortDlg dlg(nullptr, settings);
  EXPECT_EQ(Shown(dlg), (std::vector<std::string>{"COM1", "19200", "E", "7", "2", "X", "無効", "はい"}));

  Type(dlg, kComEcho, "on");
  Type(dlg, kComPort, "COM5");
  dlg.accept();
  EXPECT_EQ(settings.Raw(keys::ComStatus), "COM5:19200,E,7,2,X");
  EXPECT_EQ(settings.Raw(keys::Echo), "on");
  EXPECT_EQ(settings.Raw(keys::Serial), "yes");

  // "on" is not "enable": the next opening shows "disable".
  CComPortDlg again(nullptr, settings);
  EXPECT_EQ(again.List(kComEcho)->currentText(), QStringLiteral("無効"));
}

TEST_F(DialogComPortTest, TooLongFieldsAreRefusedInFixedOrderWithFocus) {
  CComPortDlg dlg(nullptr, settings);
  dlg.show();
  Type(dlg, kComPort, "COM10");
  Type(dlg, kComSpeed, "1152000");
  Type(dlg, kComParity, "NN");
  Type(dlg, kComFlow, "XX");
  const std::string before = test::ReadFile(settings.Path());

  dlg.accept();
  ASSERT_EQ(messages, QStringList{QStringLiteral("4 文字以内で入力してください。")});
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_NE(dlg.result(), QDialog::Accepted);
  EXPECT_TRUE(Focused(dlg, dlg.List(kComPort)));

  Type(dlg, kComPort, "COM9");
  dlg.accept();
  EXPECT_EQ(messages.last(), QStringLiteral("6 文字以内で入力してください。"));
  EXPECT_TRUE(Focused(dlg, dlg.List(kComSpeed)));

  // Flow control is checked before parity although it stands below it.
  Type(dlg, kComSpeed, "38400");
  dlg.accept();
  EXPECT_EQ(messages.last(), QStringLiteral("1 文字以内で入力してください。"));
  EXPECT_TRUE(Focused(dlg, dlg.List(kComFlow)));
  EXPECT_EQ(test::ReadFile(settings.Path()), before);

  // The rest in their fixed order: stop bits, parity, data bits, echo, serial.
  Type(dlg, kComFlow, "H");
  Type(dlg, kComStopBits, "22");
  Type(dlg, kComDataBits, "88");
  Type(dlg, kComEcho, "enable-all!");
  Type(dlg, kComSerial, "yes-always!");
  const std::pair<ComField, const char*> fixes[] = {
      {kComStopBits, "1"}, {kComParity, "O"}, {kComDataBits, "8"}, {kComEcho, "enable"}, {kComSerial, "no"}};
  for (const auto& [field, fixed] : fixes) {
    dlg.accept();
    EXPECT_EQ(messages.last(), QString::fromStdString(LengthMessage(ComPortLimit(field))));
    EXPECT_TRUE(Focused(dlg, dlg.List(field))) << field;
    EXPECT_EQ(test::ReadFile(settings.Path()), before);
    Type(dlg, field, fixed);
  }
  dlg.accept();
  EXPECT_EQ(messages.size(), 8);
  EXPECT_EQ(settings.Raw(keys::ComStatus), "COM9:38400,O,8,1,H");
}

TEST_F(DialogComPortTest, SplitToleratesShortStrings) {
  ComPortValues v;
  SplitComStatus("COM3", v);
  EXPECT_EQ(v[kComPort], "COM3");
  EXPECT_EQ(v[kComSpeed], "");
  SplitComStatus("COM1:1200,N", v);
  EXPECT_EQ(v[kComSpeed], "1200");
  EXPECT_EQ(v[kComParity], "N");
  EXPECT_EQ(v[kComDataBits], "");
  EXPECT_EQ(BuildComStatus(v), "COM1:1200,N,,,");
}

TEST_F(DialogComPortTest, DeviceFollowsThePortAndOnlyChangedDevicesAreWritten) {
  settings.SetDevicePath("COM1", "/dev/ttyUSB0");
  settings.Set(keys::ComStatus, "COM1:9600,N,8,1,N");
  CComPortDlg dlg(nullptr, settings);
  EXPECT_EQ(dlg.DeviceList()->currentText(), QStringLiteral("/dev/ttyUSB0"));

  Type(dlg, kComPort, "COM3");
  EXPECT_EQ(dlg.DeviceList()->currentText(), QStringLiteral("/dev/ttyS2"));
  dlg.DeviceList()->setEditText(QStringLiteral("/dev/serial/by-id/usb-FTDI_TNC-if00-port0"));
  Type(dlg, kComPort, "COM1");
  EXPECT_EQ(dlg.DeviceList()->currentText(), QStringLiteral("/dev/ttyUSB0"));
  Type(dlg, kComPort, "COM3");  // the edit made for COM3 is remembered
  EXPECT_EQ(dlg.DeviceList()->currentText(), QStringLiteral("/dev/serial/by-id/usb-FTDI_TNC-if00-port0"));

  // Typing a port name letter by letter passes through names that get no device.
  for (const char* partial : {"C", "CO", "COM", "COM4"}) Type(dlg, kComPort, partial);
  dlg.accept();
  EXPECT_FALSE(settings.File().HasKey("Devices", "C"));
  EXPECT_FALSE(settings.File().HasKey("Devices", "COM"));
  EXPECT_FALSE(settings.File().HasKey("Devices", "COM4"));
  EXPECT_EQ(settings.DevicePath("COM3"), "/dev/serial/by-id/usb-FTDI_TNC-if00-port0");
  EXPECT_EQ(settings.DevicePath("COM1"), "/dev/ttyUSB0");
  EXPECT_FALSE(settings.File().HasKey("Devices", "COM2"));
}

// Device paths are file-system names: a Japanese one is kept in CP932, one
// CP932 cannot hold is refused with its name and nothing is written.
TEST_F(DialogComPortTest, DevicePathsCrossNamiIniAsCp932OrAreRefused) {
  settings.Set(keys::ComStatus, "COM2:9600,N,8,1,N");
  {
    CComPortDlg dlg(nullptr, settings);
    dlg.DeviceList()->setEditText(QStringLiteral("/home/op/無線/tnc"));
    dlg.accept();
  }
  EXPECT_EQ(settings.File().ReadString("Devices", "COM2", 80), test::Sjis("/home/op/無線/tnc"));
  EXPECT_EQ(settings.DevicePath("COM2"), "/home/op/無線/tnc");

  const std::string before = test::ReadFile(settings.Path());
  CComPortDlg dlg(nullptr, settings);
  dlg.DeviceList()->setEditText(QStringLiteral("/home/op/무선/tnc"));
  dlg.accept();
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains(QStringLiteral("/home/op/무선/tnc")));
  EXPECT_EQ(test::ReadFile(settings.Path()), before);
}

}  // namespace

TEST_F(DialogComPortTest, AKissTncIsOfferedAndKeptAsTheDevice) {
  settings.Set(keys::ComStatus, "COM2:9600,N,8,1,N");
  CComPortDlg dlg(nullptr, settings);
  const int kiss = dlg.DeviceList()->findText(QStringLiteral("kiss://localhost:8001"));
  ASSERT_GE(kiss, 0);
  dlg.DeviceList()->setCurrentIndex(kiss);
  dlg.accept();
  EXPECT_EQ(settings.DevicePath("COM2"), "kiss://localhost:8001");
}

}  // namespace nami

namespace nami {
namespace {

class DialogLinkTest : public test::DialogTest {};

TEST_F(DialogLinkTest, KindHostAndPortsComposeTheDevicesValue) {
  struct Case {
    int kind;
    const char* host;
    int port;
    int radio;
    const char* value;
  } cases[] = {
      {1, "dw.local", 8000, 0, "agw://dw.local:8000/0"},
      {1, "127.0.0.1", 8001, 2, "agw://127.0.0.1:8001/2"},
      {2, "bbs.example.org", 6300, 0, "telnet://bbs.example.org:6300"},
      {3, "", 0, 0, "sim:"},
      {4, "127.0.0.1", 0, 0, "kiss://127.0.0.1:8001/0"},
      {4, "tnc.local", 8100, 1, "kiss://tnc.local:8100/1"},
  };
  for (const Case& c : cases) {
    CComPortDlg dlg(nullptr, settings);
    dlg.KindList()->setCurrentIndex(c.kind);
    dlg.HostEdit()->setText(QString::fromUtf8(c.host));
    if (c.port) dlg.TcpPortBox()->setValue(c.port);
    dlg.RadioPortBox()->setValue(c.radio);
    dlg.KindList()->setCurrentIndex(0 == c.kind ? 1 : c.kind);  // compose with the fields as set
    EXPECT_EQ(dlg.DeviceList()->currentText().toStdString(), c.value);
    dlg.MyCallEdit()->setText(QStringLiteral("ja1xyz-7"));
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(settings.DevicePath("COM2"), c.value);
    EXPECT_EQ(settings.MyCall(), "JA1XYZ-7");
    // Opening the dialog again shows the link's fields.
    CComPortDlg again(nullptr, settings);
    EXPECT_EQ(again.KindList()->currentIndex(), c.kind) << c.value;
  }
  EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
}

// The line settings (speed, parity, bits, flow) mean something only on a
// serial device: greyed for the network kinds and the simulator.
TEST_F(DialogLinkTest, SerialFieldsAreGreyedForNetworkKinds) {
  const struct {
    const char* device;
    bool serial;
  } cases[] = {{"/dev/ttyUSB0", true},         {"kiss:/dev/rfcomm0", true}, {"agw://localhost:8000/0", false},
               {"telnet://bbs:23", false},     {"kiss://localhost:8001/0", false}, {"sim:", false}};
  CComPortDlg dlg(nullptr, settings);
  for (const auto& c : cases) {
    dlg.DeviceList()->setEditText(QString::fromUtf8(c.device));
    for (ComField f : {kComSpeed, kComParity, kComDataBits, kComStopBits, kComFlow})
      EXPECT_EQ(dlg.List(f)->isEnabled(), c.serial) << c.device << " " << f;
    EXPECT_TRUE(dlg.List(kComPort)->isEnabled());
    EXPECT_TRUE(dlg.List(kComEcho)->isEnabled());
  }
}

TEST_F(DialogLinkTest, AKissTncOnASerialDeviceTakesTheDeviceShown) {
  settings.SetDevicePath("COM2", "/dev/ttyACM0");
  CComPortDlg dlg(nullptr, settings);
  dlg.KindList()->setCurrentIndex(5);
  EXPECT_EQ(dlg.DeviceList()->currentText().toStdString(), "kiss:/dev/ttyACM0");
  dlg.MyCallEdit()->setText(QStringLiteral("JA1XYZ"));
  dlg.accept();
  EXPECT_EQ(settings.DevicePath("COM2"), "kiss:/dev/ttyACM0");
  CComPortDlg again(nullptr, settings);
  EXPECT_EQ(again.KindList()->currentIndex(), 5);
  EXPECT_FALSE(again.HostEdit()->isEnabled());
}

TEST_F(DialogLinkTest, ABadValueOrCallKeepsTheDialogOpenAndSaysWhy) {
  struct Case {
    const char* device;
    const char* call;
    const char* message;
  } cases[] = {
      {"ax25://127.0.0.1:8001", "JA1XYZ", "リンクの種類 \"ax25\" はありません"},
      {"agw://:8000", "JA1XYZ", "正しいホスト名がありません"},
      {"telnet://bbs:0", "JA1XYZ", "TCP ポートは 1 から 65535"},
      {"sim:", "JA1XYZ-16", "MYCALL"},
  };
  for (const Case& c : cases) {
    messages.clear();
    CComPortDlg dlg(nullptr, settings);
    dlg.DeviceList()->setEditText(QString::fromUtf8(c.device));
    dlg.MyCallEdit()->setText(QString::fromUtf8(c.call));
    dlg.accept();
    EXPECT_NE(dlg.result(), QDialog::Accepted) << c.device;
    ASSERT_EQ(messages.size(), 1) << c.device;
    EXPECT_TRUE(messages[0].contains(QString::fromUtf8(c.message))) << messages[0].toStdString();
    EXPECT_NE(settings.DevicePath("COM2"), c.device);
  }
}

}  // namespace
}  // namespace nami
