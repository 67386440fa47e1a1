// What a `[Devices]` value names, and how a bad one is reported.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "link/LinkAddress.h"
#include "settings/LinkPasswords.h"
#include "support/TestSupport.h"

namespace nami {
namespace {

TEST(LinkAddress, EachKindAndItsDefaults) {
  struct Case {
    const char* value;
    LinkKind kind;
    const char* normal;  // Text(), or the error's tail for Invalid
  } cases[] = {
      {"/dev/ttyUSB0", LinkKind::Serial, "/dev/ttyUSB0"},
      {"/dev/serial/by-id/usb-FTDI_x-if00", LinkKind::Serial, "/dev/serial/by-id/usb-FTDI_x-if00"},
      {"sim:", LinkKind::Sim, "sim:"},
      {" agw://localhost ", LinkKind::Agw, "agw://localhost:8000/0"},
      {"AGW://dw.local:8010/1", LinkKind::Agw, "agw://dw.local:8010/1"},
      {"agw://[::1]:8000", LinkKind::Agw, "agw://[::1]:8000/0"},
      {"telnet://bbs.example.org", LinkKind::Telnet, "telnet://bbs.example.org:23"},
      {"telnet://10.0.0.2:6300", LinkKind::Telnet, "telnet://10.0.0.2:6300"},
      {"", LinkKind::Invalid, "デバイスもリンクも指定されていません"},
      {"ttyUSB0", LinkKind::Invalid, "デバイスのパスでも"},
      {"kiss://localhost", LinkKind::Kiss, "kiss://localhost:8001/0"},
      {"kiss:/dev/rfcomm0", LinkKind::Kiss, "kiss:/dev/rfcomm0"},
      {"ax25://localhost:8001", LinkKind::Invalid, "リンクの種類 \"ax25\" はありません"},
      {"telnet://bbs:23/1", LinkKind::Invalid, "telnet のリンクには無線ポートがありません"},
      {"agw://host:8000/256", LinkKind::Invalid, "無線ポートは 0 から 255 までの数で指定してください"},
      {"agw://host:0", LinkKind::Invalid, "TCP ポートは 1 から 65535 までの数で指定してください"},
      {"agw://host:", LinkKind::Invalid, "':' の後に TCP ポートがありません"},
      {"agw://ho st:8000", LinkKind::Invalid, "正しいホスト名がありません"},
      {"agw://::1:8000", LinkKind::Invalid, "IPv6 のホストは [ ] で囲んでください"},
  };
  for (const Case& c : cases) {
    SLinkAddress a = ParseLinkAddress(c.value);
    EXPECT_EQ(a.kind, c.kind) << c.value;
    if (c.kind == LinkKind::Invalid) {
      EXPECT_NE(a.error.find(c.normal), std::string::npos) << c.value << ": " << a.error;
      EXPECT_NE(a.error.find(std::string("\"") + c.value), std::string::npos) << "names the value: " << a.error;
    } else {
      EXPECT_EQ(a.Text(), c.normal) << c.value;
    }
  }
}

TEST(LinkPasswordFile, ReadOnlyWhenOnlyTheOwnerMayReadIt) {
  test::TempDir dir;
  const std::string path = LinkPasswordFile(dir.File("NAMI.INI"));
  EXPECT_EQ(path, dir.File("link-passwords"));
  test::WriteFile(path, "telnet://a:23 first\r\ntelnet://b:23 with blanks in it\ntelnet://a:2323 other\n");
  struct Case {
    mode_t mode;
    const char* link;
    const char* password;
    const char* error;
  } cases[] = {
      {0600, "telnet://a:23", "first", ""},
      {0600, "telnet://b:23", "with blanks in it", ""},
      {0600, "telnet://c:23", "", ""},
      {0400, "telnet://a:2323", "other", ""},
      {0640, "telnet://a:23", "", "refused, others may read or change it"},
      {0604, "telnet://a:23", "", "refused, others may read or change it"},
  };
  for (const Case& c : cases) {
    ::chmod(path.c_str(), c.mode);
    FileFault fault;
    EXPECT_EQ(ReadLinkPasswordFile(path, c.link, fault), c.password) << c.link << " " << c.mode;
    const std::string error = fault.Failed() ? fault.path + ": " + FileFaultText(fault) : std::string();
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    if (!*c.error) {
      EXPECT_TRUE(error.empty()) << error;
    } else {
      EXPECT_EQ(fault.kind, FileFaultKind::Unprotected);
      EXPECT_EQ(fault.path, path);
    }
  }
  FileFault fault;
  EXPECT_EQ(ReadLinkPasswordFile(dir.File("missing"), "telnet://a:23", fault), "");
  EXPECT_FALSE(fault.Failed());
}

// Writing a password keeps the other links' lines, replaces the link's own,
// and leaves a file only its owner may read, which reading then accepts.
TEST(LinkPasswordFile, WrittenForItsOwnerAloneAndReadBack) {
  test::TempDir dir;
  const std::string path = LinkPasswordFile(dir.File("NAMI.INI"));
  test::WriteFile(path, "telnet://a:23 first\ntelnet://b:23 second\n");
  ::chmod(path.c_str(), 0644);  // as a user may have left it
  FileFault fault;
  ASSERT_TRUE(WriteLinkPasswordFile(path, "telnet://a:23", "new one", fault)) << FileFaultText(fault);
  ASSERT_TRUE(WriteLinkPasswordFile(path, "telnet://c:23", "third", fault)) << FileFaultText(fault);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(test::ReadFile(path), "telnet://b:23 second\ntelnet://a:23 new one\ntelnet://c:23 third\n");
  EXPECT_EQ(ReadLinkPasswordFile(path, "telnet://a:23", fault), "new one");
  EXPECT_FALSE(fault.Failed());
  EXPECT_FALSE(WriteLinkPasswordFile(dir.File("no/such/link-passwords"), "telnet://a:23", "x", fault));
  EXPECT_EQ(fault.path, dir.File("no/such/link-passwords"));
}

}  // namespace
}  // namespace nami
