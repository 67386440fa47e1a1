#include "FuzzBodies.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>

#include "settings/Settings.h"
#include "terminal/DocumentFile.h"
#include "terminal/NamiDoc.h"
#include "terminal/TerminalCore.h"
#include "text/ShiftJis.h"

namespace nami::fuzz {
namespace {

class QuietSink : public IUiSink {
 public:
  void ShowMessage(const std::string&) override {}
  void Beep() override {}
};

// Two settings files, one with "serial" = "yes" and "echo" = "enable",
// one empty; kept for the life of the process.
struct Env {
  Env() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "nami-fuzz-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) dir = tmpl;
    plain = std::make_unique<CSettings>(dir + "/plain.ini");
    serial = std::make_unique<CSettings>(dir + "/serial.ini");
    serial->Set(keys::Serial, "yes");
    serial->Set(keys::Echo, "enable");
  }
  ~Env() {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
  std::string dir;
  std::unique_ptr<CSettings> plain;
  std::unique_ptr<CSettings> serial;
};

Env& TheEnv() {
  static Env env;
  return env;
}

std::string CheckNewLines(const CNamiDoc& doc, std::size_t from) {
  if (doc.LineCount() > CLineStore::kCapacity) return "more lines than the capacity";
  for (std::size_t i = from; i < doc.LineCount(); ++i) {
    const std::string& line = doc.LineAt(i);
    if (line.size() > 81) return "a stored line of " + std::to_string(line.size()) + " bytes";
    if (line.size() == 81) {
      // 81 bytes only when the 80th byte starts a two-byte character.
      std::size_t p = 0;
      while (p < 79) p += IsLeadByte(line[p]) ? 2 : 1;
      if (p != 79 || !IsLeadByte(line[79])) return "an 81-byte line that splits no character";
    }
  }
  return {};
}

}  // namespace

std::string CheckReceive(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return {};
  Env& env = TheEnv();
  const std::uint8_t mode = data[0];
  std::uint32_t rng = data[1] * 2654435761u + 1;
  data += 2;
  size -= 2;

  QuietSink sink;
  CNamiDoc doc(mode & 1 ? *env.serial : *env.plain, sink);
  doc.WaitText = mode & 2 ? "cmd:" : "";
  CTerminalCore core(doc);
  core.SetRows(1 + (mode >> 4));
  const bool keys = mode & 4;

  std::size_t pos = 0;
  while (pos < size) {
    rng = rng * 1103515245u + 12345u;
    std::size_t n = 1 + (rng >> 16) % 97;
    if (n > size - pos) n = size - pos;
    const std::size_t before = doc.LineCount();
    if (keys && (rng & 0x80000000u)) {
      for (std::size_t i = 0; i < n; ++i) core.Key(data[pos + i]);
    } else {
      core.Receive(reinterpret_cast<const char*>(data + pos), n);
    }
    pos += n;
    if (std::string e = CheckNewLines(doc, before); !e.empty()) return e;
    if (core.Column() < 0 || core.Column() > CTerminalCore::kWidth) return "column out of range";
    if (core.SavedColumn() < -1 || core.SavedColumn() > CTerminalCore::kWidth) return "saved column out of range";
    if (core.CurrentLine().size() > static_cast<std::size_t>(CTerminalCore::kWidth))
      return "current line of " + std::to_string(core.CurrentLine().size()) + " bytes";
  }
  return {};
}

std::string CheckDocument(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return {};
  const bool asFile = data[0] & 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  CLineStore store;
  store.AddLine("sentinel");
  std::string error;
  const bool ok = asFile ? LoadDocumentBytes(store, bytes, error) : ParseContents(bytes, store, error);
  if (!ok) {
    if (error.empty()) return "a refused input without a message";
    if (asFile && (store.LineCount() != 1 || store.LastLine() != "sentinel")) return "a refused file changed the store";
    return {};
  }
  if (store.LineCount() > CLineStore::kCapacity) return "more lines than the capacity";
  if (store.LineCount() > bytes.size()) return "more lines than bytes";
  // What was accepted must encode and parse back to the same lines.
  CLineStore again;
  if (!ParseContents(EncodeContents(store), again, error)) return "re-encoded lines refused: " + error;
  if (again.LineCount() != store.LineCount()) return "re-encoded line count differs";
  for (std::size_t i = 0; i < store.LineCount(); ++i) {
    if (again.LineAt(i) != store.LineAt(i)) return "re-encoded line " + std::to_string(i) + " differs";
  }
  return {};
}

}  // namespace nami::fuzz
