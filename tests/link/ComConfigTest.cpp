#include "link/ComConfig.h"

#include <gtest/gtest.h>

namespace nami {
namespace {

TEST(ComConfig, TakesTheStringApartByPosition) {
  ComConfig c = ParseComConfig("COM2:9600,n,8,1,n");
  EXPECT_EQ(c.device, "COM2");
  EXPECT_EQ(c.modeString, "COM2:9600,n,8,1");
  EXPECT_EQ(c.flow, FlowControl::None);
  ASSERT_TRUE(c.line);
  EXPECT_EQ(c.line->baud, 9600);
  EXPECT_EQ(c.line->parity, 'n');
  EXPECT_EQ(c.line->dataBits, 8);
  EXPECT_EQ(c.line->stopBits, 1);

  c = ParseComConfig("COM1:4800,e,7,1,X");
  EXPECT_EQ(c.flow, FlowControl::XonXoff);
  ASSERT_TRUE(c.line);
  EXPECT_EQ(c.line->baud, 4800);
  EXPECT_EQ(c.line->parity, 'e');
  EXPECT_EQ(c.line->dataBits, 7);

  EXPECT_EQ(ParseComConfig("COM3:19200,N,8,2,h").flow, FlowControl::Hardware);
  EXPECT_EQ(ParseComConfig("COM3:19200,N,8,2,S").line->stopBits, 2);
  EXPECT_EQ(ParseComConfig("COM3:19200,N,8,2,S").flow, FlowControl::Both);
  EXPECT_EQ(ParseComConfig("COM3:19200,N,8,2,q").flow, FlowControl::Unchanged);
  // Only four characters name the device.
  EXPECT_EQ(ParseComConfig("COM10:9600,n,8,1,n").device, "COM1");
}

TEST(ComConfig, RejectedModeStringsLeaveTheLineAlone) {
  EXPECT_FALSE(ParseComConfig("COM2:9601,n,8,1,n").line);  // no such rate
  EXPECT_FALSE(ParseComConfig("COM2:9600,q,8,1,n").line);
  EXPECT_FALSE(ParseComConfig("COM2:9600,n,9,1,n").line);
  EXPECT_FALSE(ParseComConfig("COM2:9600,n,8,3,n").line);
  EXPECT_FALSE(ParseComConfig("COM2:fast,n,8,1,x").line);
  // The flow letter still applies to a rejected mode string.
  EXPECT_EQ(ParseComConfig("COM2:fast,n,8,1,x").flow, FlowControl::XonXoff);
  // The mode command's abbreviations and defaults.
  auto s = ParseModeString("COM1:96");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->baud, 9600);
  EXPECT_EQ(s->parity, 'e');
  EXPECT_EQ(s->dataBits, 7);
}

TEST(ComConfig, ShortAndStrangeStringsAreSafe) {
  ComConfig c = ParseComConfig("");
  EXPECT_EQ(c.device, "");
  EXPECT_EQ(c.flow, FlowControl::Unchanged);
  EXPECT_FALSE(c.line);
  c = ParseComConfig("x");
  EXPECT_EQ(c.device, "x");
  EXPECT_EQ(c.flow, FlowControl::XonXoff);
  EXPECT_EQ(c.modeString, "");
  c = ParseComConfig("CO");
  EXPECT_EQ(c.device, "CO");
  EXPECT_EQ(c.modeString, "");
  c = ParseComConfig("COM");
  EXPECT_EQ(c.modeString, "C");
  EXPECT_FALSE(c.line);
  // Bytes of any value, any length.
  std::string odd;
  for (int i = 0; i < 300; ++i) odd += static_cast<char>(i * 7);
  for (std::size_t n = 0; n <= odd.size(); n += 13) {
    ComConfig r = ParseComConfig(odd.substr(0, n));
    EXPECT_LE(r.device.size(), 4u);
  }
  EXPECT_FALSE(ParseComConfig("\x83\x5C\x83\x5C:9600,n,8,1,n").device.empty());
}

}  // namespace
}  // namespace nami
