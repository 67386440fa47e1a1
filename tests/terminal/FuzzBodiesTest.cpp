// The fuzz targets' checks on a fixed-start stream of inputs, so the normal
// suite covers them without clang.
#include <gtest/gtest.h>

#include <random>

#include "FuzzBodies.h"
#include "ax25/Frame.h"
#include "ax25/Kiss.h"
#include "support/TestSupport.h"
#include "document/DocumentFile.h"

namespace nami {
namespace {

std::string Check(std::string (*body)(const std::uint8_t*, std::size_t), const std::string& input) {
  return body(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

TEST(FuzzBodies, ReceiveInvariantsHoldOnRandomBytesInRandomChunks) {
  std::mt19937 rng(12345);
  // Bytes the line builder treats specially are drawn more often.
  const std::string special = "\r\n\x08\x07\x11\x13\x00\x81\x82\x9f\xe0\xfc\xff\t";
  for (int n = 0; n < 3000; ++n) {
    std::string input;
    input.push_back(static_cast<char>(rng()));
    input.push_back(static_cast<char>(rng()));
    const std::size_t length = rng() % 600;
    for (std::size_t i = 0; i < length; ++i) {
      const unsigned r = rng() % 10;
      if (r < 3) {
        input.push_back(special[rng() % special.size()]);
      } else if (r < 5) {
        input.push_back(static_cast<char>(0x81 + rng() % 0x7F));
      } else {
        input.push_back(static_cast<char>(0x20 + rng() % 0x5F));
      }
    }
    ASSERT_EQ(Check(fuzz::CheckReceive, input), "") << "input " << n;
  }
}

TEST(FuzzBodies, Ax25InvariantsHoldOnDamagedKissStreams) {
  std::mt19937 rng(24680);
  const ax25::EKind kinds[] = {ax25::EKind::I,    ax25::EKind::RR,   ax25::EKind::RNR,    ax25::EKind::REJ,
                               ax25::EKind::SABM, ax25::EKind::DISC, ax25::EKind::DM,     ax25::EKind::UA,
                               ax25::EKind::FRMR, ax25::EKind::UI,   ax25::EKind::Unknown};
  for (int n = 0; n < 2000; ++n) {
    // Well-formed frames of every kind with random numbers, then damaged.
    std::string input;
    input.push_back(static_cast<char>(rng()));
    input.push_back(static_cast<char>(rng()));
    const int frames = static_cast<int>(rng() % 30);
    for (int i = 0; i < frames; ++i) {
      ax25::SFrame f;
      f.dest = *ax25::SAddress::Parse("JA1ABC");
      f.src = *ax25::SAddress::Parse("JA1XYZ-3");
      for (unsigned d = rng() % 3; d > 0; --d) f.digis.push_back(*ax25::SAddress::Parse("DIGI-1"));
      f.kind = kinds[rng() % std::size(kinds)];
      f.control = static_cast<std::uint8_t>(rng() | 3);
      f.SetCommand(rng() % 2);
      f.pf = rng() % 2;
      f.ns = static_cast<int>(rng() % 8);
      f.nr = static_cast<int>(rng() % 8);
      if (ax25::MayHaveInfo(f.kind)) f.info.assign(rng() % 40, 'i');
      input += ax25::KissWrap(ax25::Encode(f));
    }
    for (int e = static_cast<int>(rng() % 4); e > 0 && input.size() > 2; --e)
      input[2 + rng() % (input.size() - 2)] = static_cast<char>(rng() % 3 == 0 ? 0xC0 : rng());
    if (rng() % 4 == 0 && input.size() > 2) input.resize(2 + rng() % (input.size() - 2));
    ASSERT_EQ(Check(fuzz::CheckAx25, input), "") << "input " << n;
  }
}

TEST(FuzzBodies, DocumentLoaderRefusesDamageCleanly) {
  std::mt19937 rng(54321);
  test::TempDir dir;
  for (int n = 0; n < 300; ++n) {
    // A valid store, then damaged: bytes changed, cut short or both.
    CLineStore store;
    const int lines = static_cast<int>(rng() % 40);
    for (int i = 0; i < lines; ++i) store.AddLine(std::string(rng() % 300, static_cast<char>('a' + i % 26)));
    std::string contents = EncodeContents(store);
    std::string file;
    const bool asFile = n % 3 == 0;
    if (asFile) {
      FileFault error;
      ASSERT_TRUE(SaveDocument(store, dir.File("f.nmi"), error)) << error;
      file = test::ReadFile(dir.File("f.nmi"));
    }
    std::string& target = asFile ? file : contents;
    for (int k = 0; k < 10; ++k) {
      std::string input = target;
      const int edits = static_cast<int>(rng() % 4);
      for (int e = 0; e < edits && !input.empty(); ++e) input[rng() % input.size()] = static_cast<char>(rng());
      if (rng() % 2 && !input.empty()) input.resize(rng() % input.size());
      input.insert(input.begin(), asFile ? '\x01' : '\x00');
      ASSERT_EQ(Check(fuzz::CheckDocument, input), "") << "input " << n << "." << k;
    }
  }
}

}  // namespace
}  // namespace nami
