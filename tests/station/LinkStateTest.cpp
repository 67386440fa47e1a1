// The link state read from the TNC's command echo and status lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/LinkState.h"

namespace nami {
namespace {

struct Case {
  const char* name;
  std::vector<std::string> lines;
  LinkPhase phase;
  CallFailure failure;
  const char* text;  // at 65 s after the last line
};

TEST(LinkState, FollowsTheTncLines) {
  const Case cases[] = {
      {"nothing yet", {}, LinkPhase::Disconnected, CallFailure::None, "未接続"},
      {"the connect command's echo", {"cmd:CONNECT QZ1ABC"}, LinkPhase::Connecting, CallFailure::None, "接続中 QZ1ABC"},
      {"an abbreviated command in lower case",
       {"cmd:c qz1abc-1 v qz2rpt"},
       LinkPhase::Connecting,
       CallFailure::None,
       "接続中 QZ1ABC-1 V QZ2RPT"},
      {"connected, time on air",
       {"cmd:CONNECT QZ1ABC", "*** CONNECTED to QZ1ABC"},
       LinkPhase::Connected,
       CallFailure::None,
       "接続 QZ1ABC 00:01:05"},
      {"connected without a command seen",
       {"*** CONNECTED to QZ9ZZZ"},
       LinkPhase::Connected,
       CallFailure::None,
       "接続 QZ9ZZZ 00:01:05"},
      {"disconnect asked",
       {"*** CONNECTED to QZ1ABC", "cmd:D"},
       LinkPhase::Disconnecting,
       CallFailure::None,
       "切断中 QZ1ABC"},
      {"disconnect when nothing is up", {"cmd:DISCONNECT"}, LinkPhase::Disconnected, CallFailure::None, "未接続"},
      {"disconnected",
       {"*** CONNECTED to QZ1ABC", "*** DISCONNECTED"},
       LinkPhase::Disconnected,
       CallFailure::None,
       "未接続"},
      {"busy",
       {"cmd:CONNECT QZ1ABC", "*** QZ1ABC busy", "*** DISCONNECTED"},
       LinkPhase::Disconnected,
       CallFailure::Busy,
       "未接続 (QZ1ABC 話中)"},
      {"retries exceeded",
       {"cmd:CONNECT QZ1ABC", "*** retry count exceeded", "*** DISCONNECTED"},
       LinkPhase::Disconnected,
       CallFailure::RetriesExceeded,
       "未接続 (QZ1ABC 応答なし)"},
      {"a new call clears the old failure",
       {"*** QZ1ABC busy", "*** DISCONNECTED", "cmd:CONNECT QZ1ABC"},
       LinkPhase::Connecting,
       CallFailure::None,
       "接続中 QZ1ABC"},
      {"BBS text that merely mentions it",
       {"*** CONNECTED to QZ1ABC", "He said *** DISCONNECTED"},
       LinkPhase::Connected,
       CallFailure::None,
       "接続 QZ1ABC 00:01:06"},
      {"other commands change nothing",
       {"cmd:MYCALL QZ1XYZ", "cmd:"},
       LinkPhase::Disconnected,
       CallFailure::None,
       "未接続"},
  };
  for (const Case& c : cases) {
    CLinkState link;
    std::time_t t = 1000;
    for (const std::string& line : c.lines) link.OnLine(line, t++);
    EXPECT_EQ(link.Phase(), c.phase) << c.name;
    EXPECT_EQ(link.LastFailure(), c.failure) << c.name;
    EXPECT_EQ(link.Text(t - 1 + 65), c.text) << c.name;
  }
}

TEST(LinkState, AReconnectCountsItsOwnTimeAndResets) {
  CLinkState link;
  link.OnLine("*** CONNECTED to QZ1ABC", 1);
  link.OnLine("*** DISCONNECTED", 2);
  link.OnLine("*** CONNECTED to QZ1ABC", 3);
  EXPECT_EQ(link.Text(3 + 65), "接続 QZ1ABC 00:01:05");
  link.Reset();
  EXPECT_EQ(link.Phase(), LinkPhase::Disconnected);
  EXPECT_EQ(link.Peer(), "");
}

}  // namespace
}  // namespace nami
