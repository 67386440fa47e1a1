// The fuzz targets' checks on a fixed-start stream of inputs, so the normal
// suite covers them without clang.
#include <gtest/gtest.h>

#include <random>

#include "FuzzBodies.h"
#include "support/TestSupport.h"
#include "terminal/DocumentFile.h"

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
      std::string error;
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
