// The fuzz body of the mail-log importer: a log of random bytes read back
// into lines and messages, and imported into the store twice.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>

#include "FuzzBodies.h"
#include "mailbox/Import.h"
#include "mailbox/MailStore.h"
#include "settings/FileOps.h"

namespace nami::fuzz {
namespace {

struct NoSyncOps final : IFileOps {
  ssize_t Write(int fd, const void* data, std::size_t size) override { return ::write(fd, data, size); }
  int Sync(int) override { return 0; }
  int Rename(const char* from, const char* to) override { return ::rename(from, to); }
};

struct ImportDir {
  ImportDir() { dir = MakeFuzzDir("nami-fuzz-import"); }
  ~ImportDir() {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
  std::string dir;
};

}  // namespace

std::string CheckImport(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return {};
  static ImportDir dir;
  static NoSyncOps ops;
  // An import costs milliseconds, a parse microseconds: one log of up to
  // 8 kB in 64 (by a hash of the whole input, so every mutation may take
  // either path) goes on into the store.
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  const bool store = size <= 8192 && hash % 64 == 0;
  const std::string log = dir.dir + "/mail.txt";
  if (!WriteFileAtomically(log, std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), ops))
    return "the test log could not be written";

  std::vector<std::string> lines;
  mailbox::SImportReport report;
  if (!mailbox::ReadLogLines(log, lines, report)) return "a regular log was not read";
  for (const std::string& line : lines) {
    if (line.size() > mailbox::kMaxLogLine) return "a line over the limit";
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) return "a line with a line end or NUL";
  }
  // The messages are the answer's lines from the first header on, in order,
  // each line once.
  const auto messages = mailbox::SplitReadAnswer(lines);
  std::size_t total = 0;
  for (const auto& message : messages) {
    if (message.empty()) return "an empty message";
    total += message.size();
  }
  if (total > lines.size()) return "more message lines than lines";
  std::size_t at = lines.size() - total;
  for (const auto& message : messages)
    for (const std::string& line : message)
      if (lines[at++] != line) return "the messages are not the log's last lines in order";
  if (!store) return {};

  // Into the store (one per process: making one costs far more than an
  // import); importing the same log again must add nothing, whatever the
  // store held before. It starts afresh once it has grown large.
  static std::unique_ptr<mailbox::CMailStore> mail;
  const std::string path = dir.dir + "/mailbox.sqlite";
  std::error_code ec;
  if (mail && std::filesystem::file_size(path, ec) > (64u << 20)) mail.reset();
  if (!mail) {
    for (const char* side : {"", "-wal", "-shm", "-journal"}) ::unlink((path + side).c_str());
    mail = std::make_unique<mailbox::CMailStore>(path);
    if (mailbox::StoreFault f = mail->Open()) return "the store did not open: " + f.Text();
  }
  mailbox::SImportSource src;
  src.profile = "fuzz";
  src.bbs = "QZ1ABC";
  src.mailLog = log;
  src.prompt = "QZ1ABC BBS>";
  mailbox::SImportReport first, second;
  if (mailbox::StoreFault f = mailbox::ImportLogs(*mail, src, first, 1000)) return "the import failed: " + f.Text();
  if (mailbox::StoreFault f = mailbox::ImportLogs(*mail, src, second, 2000))
    return "the second import failed: " + f.Text();
  if (second.messagesAdded != 0) return "importing the same log again added messages";
  if (second.messagesKnown != first.messagesAdded + first.messagesKnown)
    return "the second import does not know every message of the first";
  return {};
}

}  // namespace nami::fuzz
