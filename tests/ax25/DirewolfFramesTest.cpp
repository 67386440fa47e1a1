// Frames captured from Dire Wolf 1.6 on its KISS port (tests/data/ax25):
// each decodes as the capture's comment says, and the AX.25 2.0 ones encode
// back to the very bytes Dire Wolf sent.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "ax25/Frame.h"

namespace nami::ax25 {
namespace {

struct SCapture {
  std::string comment;  // "B heard (A sent): N0ABC>N0BBS SABM C P/F"
  std::string bytes;
};

std::vector<SCapture> ReadCaptures() {
  std::ifstream in(std::string(NAMI_TEST_DATA) + "/ax25/dwpair-session.txt");
  std::vector<SCapture> out;
  std::string line, comment;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    if (line[0] == '#') {
      comment = line.substr(line.find(':') == std::string::npos ? 1 : line.find(':') + 2);
      continue;
    }
    std::string bytes;
    for (std::size_t i = 0; i + 1 < line.size(); i += 2)
      bytes.push_back(static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16)));
    out.push_back({comment, bytes});
  }
  return out;
}

TEST(DirewolfFrames, DecodeAsCapturedAndV20EncodesByteForByte) {
  const auto captures = ReadCaptures();
  ASSERT_GE(captures.size(), 19u);
  int identical = 0;
  for (const auto& c : captures) {
    EDecodeError err;
    const auto f = Decode(c.bytes, &err);
    ASSERT_TRUE(f) << c.comment << ": " << DecodeErrorText(err);
    // "SRC>DEST[,DIGI...] KIND C|R [P/F] ..." as Dire Wolf's own description.
    std::string path = f->src.ToString() + ">" + f->dest.ToString();
    for (const auto& d : f->digis) path += "," + d.ToString() + (d.bit ? "*" : "");
    EXPECT_EQ(c.comment.substr(0, path.size()), path) << c.comment;
    const bool v22 = f->src.ssid == 1 || f->dest.ssid == 1;  // the capture's modulo-128 session
    if (v22) continue;
    const std::string kind = c.comment.substr(path.size() + 1, c.comment.find(' ', path.size() + 1) - path.size() - 1);
    EXPECT_EQ(kind, KindName(f->kind)) << c.comment;
    EXPECT_EQ(c.comment.find(" C", path.size()) != std::string::npos, f->IsCommand()) << c.comment;
    EXPECT_EQ(c.comment.find("P/F") != std::string::npos, f->pf) << c.comment;
    if (f->kind == EKind::I) {
      EXPECT_NE(c.comment.find("ns=" + std::to_string(f->ns) + " nr=" + std::to_string(f->nr)), std::string::npos)
          << c.comment;
      EXPECT_NE(c.comment.find("len=" + std::to_string(f->info.size())), std::string::npos) << c.comment;
    }
    // Built from scratch with our encoder: the same bytes.
    SFrame mine;
    mine.dest = f->dest;
    mine.src = f->src;
    mine.digis = f->digis;
    mine.kind = f->kind;
    mine.SetCommand(f->IsCommand());
    mine.pf = f->pf;
    mine.ns = f->ns;
    mine.nr = f->nr;
    mine.info = f->info;
    EXPECT_EQ(Encode(mine), c.bytes) << c.comment;
    ++identical;
  }
  EXPECT_GE(identical, 12);
}

TEST(DirewolfFrames, MonitorLineOfTheDigipeatedBeacon) {
  for (const auto& c : ReadCaptures()) {
    const auto f = Decode(c.bytes);
    ASSERT_TRUE(f);
    if (f->kind == EKind::UI) {
      EXPECT_EQ(MonitorLine(*f), "JA1ABC-7>BEACON,WIDE1-1*,WIDE2-2:nami test beacon");
    }
  }
}

}  // namespace
}  // namespace nami::ax25
