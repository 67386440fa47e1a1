#include "document/DocumentFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "support/TestSupport.h"

namespace nami {
namespace {

std::vector<std::string> Lines(const CLineStore& store) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < store.LineCount(); ++i) out.push_back(store.LineAt(i));
  return out;
}

// The "Contents" stream of a compound file as read by python3-olefile.
std::string ReadWithOlefile(const std::string& path, const std::string& out) {
  const std::string cmd = "/usr/bin/python3 -c \"import olefile,sys; o=olefile.OleFileIO(sys.argv[1]); "
                          "open(sys.argv[2],'wb').write(o.openstream('Contents').read())\" '" +
                          path + "' '" + out + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  return test::ReadFile(out);
}

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

TEST(DocumentFile, LineCountsAroundTheSixteenBitLimitRoundTrip) {
  test::TempDir dir;
  const struct {
    std::size_t count;
    std::string prefix;
  } cases[] = {
      {0, Bytes({0, 0})},
      {1, Bytes({1, 0, 1, 'x'})},
      {65534, Bytes({0xFE, 0xFF, 1, 'x'})},
      {65535, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 1, 'x'})},
      {70000, Bytes({0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00, 1, 'x'})},
  };
  for (const auto& c : cases) {
    CLineStore store;
    for (std::size_t i = 0; i < c.count; ++i) store.AddLine(i == 0 ? "x" : std::to_string(i));
    const std::string contents = EncodeContents(store);
    EXPECT_EQ(contents.substr(0, c.prefix.size()), c.prefix) << c.count;

    const std::string path = dir.File(std::to_string(c.count) + ".nmi");
    FileFault error;
    ASSERT_TRUE(SaveDocument(store, path, error)) << error;
    CLineStore loaded;
    loaded.AddLine("old");
    ASSERT_TRUE(LoadDocument(loaded, path, error)) << error;
    EXPECT_EQ(Lines(loaded), Lines(store)) << c.count;
    EXPECT_EQ(loaded.TakeEvictedCount(), 0);
    if (c.count == 0 || c.count == 70000) {
      EXPECT_EQ(ReadWithOlefile(path, dir.File("contents.bin")), contents) << c.count;
    }
  }
}

TEST(DocumentFile, LineLengthsAroundEachPrefixLimitRoundTrip) {
  test::TempDir dir;
  const struct {
    std::size_t length;
    std::string prefix;
  } cases[] = {
      {0, Bytes({0})},
      {254, Bytes({0xFE})},
      {255, Bytes({0xFF, 0xFF, 0x00})},
      {300, Bytes({0xFF, 0x2C, 0x01})},
      {65533, Bytes({0xFF, 0xFD, 0xFF})},
      {65534, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
      {70000, Bytes({0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00})},
  };
  CLineStore all;
  for (const auto& c : cases) {
    CLineStore store;
    std::string line(c.length, 'a');
    for (std::size_t i = 0; i < c.length; ++i) line[i] = static_cast<char>(0x20 + i % 200);
    store.AddLine(line);
    all.AddLine(line);
    const std::string contents = EncodeContents(store);
    EXPECT_EQ(contents.substr(0, 2 + c.prefix.size()), Bytes({1, 0}) + c.prefix) << c.length;
    EXPECT_EQ(contents.size(), 2 + c.prefix.size() + c.length);
  }
  const std::string path = dir.File("lengths.nmi");
  FileFault error;
  ASSERT_TRUE(SaveDocument(all, path, error)) << error;
  CLineStore loaded;
  ASSERT_TRUE(LoadDocument(loaded, path, error)) << error;
  EXPECT_EQ(Lines(loaded), Lines(all));
  EXPECT_EQ(ReadWithOlefile(path, dir.File("contents.bin")), EncodeContents(all));
}

TEST(DocumentFile, ReadsAFileFromAnotherWriterWithFurtherStreams) {
  CLineStore store;
  FileFault error;
  ASSERT_TRUE(LoadDocument(store, NAMI_TEST_DATA "/cfb-document.nmi", error)) << error;
  EXPECT_EQ(Lines(store), (std::vector<std::string>{"JA1XYZ de JA2ABC", "", std::string(300, 'A')}));
}

TEST(DocumentFile, BadFilesAreRefusedAndLeaveTheStoreAsItWas) {
  test::TempDir dir;
  CLineStore good;
  for (int i = 0; i < 500; ++i) good.AddLine("line " + std::to_string(i));
  const std::string goodPath = dir.File("good.nmi");
  FileFault error;
  ASSERT_TRUE(SaveDocument(good, goodPath, error)) << error;
  const std::string goodFile = test::ReadFile(goodPath);

  std::vector<std::pair<std::string, std::string>> files;  // name, path
  auto add = [&](const std::string& name, const std::string& bytes) {
    test::WriteFile(dir.File(name), bytes);
    files.emplace_back(name, dir.File(name));
  };
  add("text", "just some text\r\n");
  add("empty", "");
  add("half", goodFile.substr(0, goodFile.size() / 2));
  add("header only", goodFile.substr(0, 512));
  files.emplace_back("missing", dir.File("does-not-exist.nmi"));
  files.emplace_back("no Contents", NAMI_TEST_DATA "/cfb-no-contents.nmi");
  // Compound files whose stream is short or forged.
  const std::string forged[] = {
      "",                                                 // no count
      Bytes({5}),                                         // half a count
      Bytes({0xFF, 0xFF, 0xFF}),                          // half a 32-bit count
      Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 'a'}),  // four billion lines
      Bytes({2, 0, 1, 'a', 5, 'b'}),                      // a length past the end
      Bytes({1, 0, 0xFF, 0x10}),                          // half a 16-bit length
      Bytes({1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}),  // a forged 32-bit length
      Bytes({1, 0, 0xFF, 0xFE, 0xFF, 1, 'a'}),            // a wide-string marker
  };
  for (std::size_t i = 0; i < std::size(forged); ++i) {
    const std::string path = dir.File("forged" + std::to_string(i) + ".nmi");
    ASSERT_TRUE(SaveContents(forged[i], path, error)) << error;
    files.emplace_back("forged " + std::to_string(i), path);
  }

  for (const auto& [name, path] : files) {
    CLineStore store;
    store.AddLine("kept 1");
    store.AddLine("kept 2");
    FileFault message;
    EXPECT_FALSE(LoadDocument(store, path, message)) << name;
    EXPECT_FALSE(DocumentFaultText(message).empty()) << name;
    EXPECT_EQ(message.path, path) << name;
    EXPECT_EQ(Lines(store), (std::vector<std::string>{"kept 1", "kept 2"})) << name;
  }
}

TEST(DocumentFile, SaveReplacesTheFileAndReportsAFailure) {
  test::TempDir dir;
  const std::string path = dir.File("doc.nmi");
  CLineStore store;
  store.AddLine("first");
  FileFault error;
  ASSERT_TRUE(SaveDocument(store, path, error));
  store.AddLine("second");
  ASSERT_TRUE(SaveDocument(store, path, error));
  CLineStore loaded;
  ASSERT_TRUE(LoadDocument(loaded, path, error));
  EXPECT_EQ(Lines(loaded), (std::vector<std::string>{"first", "second"}));

  // A folder in the way: the save fails with a message.
  EXPECT_FALSE(SaveDocument(store, dir.Path(), error));
  EXPECT_EQ(error.kind, FileFaultKind::IsDirectory) << error;
  EXPECT_EQ(error.path, dir.Path());

  // A failed replace (full disk, failed rename) keeps the old file whole.
  struct FailingOps : IFileOps {
    ssize_t Write(int fd, const void* data, std::size_t size) override { return PosixFileOps().Write(fd, data, size); }
    int Sync(int fd) override { return PosixFileOps().Sync(fd); }
    int Rename(const char*, const char*) override {
      errno = ENOSPC;
      return -1;
    }
  } failing;
  const std::string before = test::ReadFile(path);
  store.AddLine("third");
  error = {};
  EXPECT_FALSE(SaveDocument(store, path, error, failing));
  EXPECT_EQ(error.kind, FileFaultKind::NoSpace) << error;
  EXPECT_EQ(FileFaultText(error), "No space left on device");
  EXPECT_EQ(test::ReadFile(path), before);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 1u);  // no temporary file left behind
}

}  // namespace
}  // namespace nami
