#include "FuzzBodies.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>

#include "autopilot/RunState.h"
#include "ax25/DataLink.h"
#include "ax25/Frame.h"
#include "ax25/Kiss.h"
#include "time/Clock.h"
#include "settings/Settings.h"
#include "document/DocumentFile.h"
#include "terminal/NamiDoc.h"
#include "terminal/TerminalCore.h"
#include "text/ShiftJis.h"

namespace nami::fuzz {

std::string MakeFuzzDir(const char* prefix) {
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
  std::string tmpl = (base / (std::string(prefix) + "-XXXXXX")).string();
  return ::mkdtemp(tmpl.data()) ? tmpl : std::string();
}

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
    dir = MakeFuzzDir("nami-fuzz");
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
  if (doc.Lines().LineCount() > CLineStore::kCapacity) return "more lines than the capacity";
  for (std::size_t i = from; i < doc.Lines().LineCount(); ++i) {
    const std::string& line = doc.Lines().LineAt(i);
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
  CRunState run(sink);
  run.ArmWait(mode & 2 ? "cmd:" : "");
  doc.SetReceiveListener(ReceiveSlot::Autopilot, &run);
  CTerminalCore core(doc);
  core.SetRows(1 + (mode >> 4));
  const bool keys = mode & 4;

  std::size_t pos = 0;
  while (pos < size) {
    rng = rng * 1103515245u + 12345u;
    std::size_t n = 1 + (rng >> 16) % 97;
    if (n > size - pos) n = size - pos;
    const std::size_t before = doc.Lines().LineCount();
    if (keys && (rng & 0x80000000u)) {
      for (std::size_t i = 0; i < n; ++i) core.Key(data[pos + i]);
    } else {
      core.Receive(reinterpret_cast<const char*>(data + pos), n);
    }
    pos += n;
    if (std::string e = CheckNewLines(doc, before); !e.empty()) return e;
    // The line being built holds 81 bytes (column 81) only while its last
    // character is a whole two-byte one starting at the 80th byte, as a
    // stored line may.
    const std::string current = core.CurrentLine();
    bool wholeAtEnd = false;
    if (current.size() == 81 && core.Column() == CTerminalCore::kWidth + 1) {
      std::size_t p = 0;
      while (p < 79) p += IsLeadByte(current[p]) ? 2 : 1;
      wholeAtEnd = p == 79 && IsLeadByte(current[79]);
    }
    if (core.Column() < 0 || (core.Column() > CTerminalCore::kWidth && !wholeAtEnd)) return "column out of range";
    if (core.SavedColumn() < -1 || core.SavedColumn() > CTerminalCore::kWidth + 1) return "saved column out of range";
    if (current.size() > static_cast<std::size_t>(CTerminalCore::kWidth) && !wholeAtEnd)
      return "current line of " + std::to_string(current.size()) + " bytes";
  }
  return {};
}

namespace {

struct NullLinkEvents final : ax25::IDataLinkEvents {
  void Transmit(const ax25::SFrame&) override { ++sent; }
  void OnConnected(const ax25::SAddress&, bool) override {}
  void OnDisconnected() override {}
  void OnBusy(const ax25::SAddress&) override {}
  void OnRetryExceeded() override {}
  void OnFailure(const std::string&) override {}
  void OnData(std::string_view bytes) override { received += bytes.size(); }
  std::size_t sent = 0;
  std::size_t received = 0;
};

}  // namespace

std::string CheckAx25(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return {};
  const bool drive = data[0] & 1;
  std::uint32_t rng = data[1] * 2654435761u + 7;
  data += 2;
  size -= 2;

  CManualClock clock;
  NullLinkEvents events;
  ax25::SLinkParams params;
  params.maxFrame = 1 + static_cast<int>(rng % 7);
  params.pacLen = 16;
  params.retries = 3;
  ax25::CDataLink link(clock, events, params);
  const auto me = *ax25::SAddress::Parse("JA1ABC");
  const auto peer = *ax25::SAddress::Parse("JA1XYZ-3");
  link.SetMyCall(me);
  if (drive) {
    link.Connect(peer);
    ax25::SFrame ua;
    ua.dest = me;
    ua.src = peer;
    ua.kind = ax25::EKind::UA;
    ua.SetCommand(false);
    ua.pf = true;
    link.Receive(ua);
    link.Send(std::string(100, 'x'));
  }

  ax25::CKissDeframer deframer(0, 1024);
  std::vector<std::string> frames;
  std::size_t pos = 0;
  while (pos < size) {
    rng = rng * 1103515245u + 12345u;
    std::size_t n = 1 + (rng >> 16) % 61;
    if (n > size - pos) n = size - pos;
    frames.clear();
    deframer.Feed(std::string_view(reinterpret_cast<const char*>(data + pos), n), frames);
    pos += n;
    for (const std::string& bytes : frames) {
      if (bytes.size() > 1024) return "a KISS frame over the limit";
      ax25::EDecodeError error;
      auto frame = ax25::Decode(bytes, &error);
      if (!frame) {
        if (error == ax25::EDecodeError::None) return "a refused frame without a reason";
        continue;
      }
      if (frame->digis.size() > ax25::kMaxDigis) return "more than 8 digipeaters";
      const std::string again = ax25::Encode(*frame);
      auto back = ax25::Decode(again);
      if (!back) return "a decoded frame does not decode after encoding";
      if (ax25::Encode(*back) != again) return "encoding is not stable";
      if (ax25::MonitorLine(*frame).empty()) return "an empty monitor line";
      if (!drive) continue;
      frame->dest = me;
      frame->src = peer;
      frame->digis.clear();
      link.Receive(*frame);
      clock.AdvanceMs(static_cast<std::int64_t>((rng >> 8) % 5000));
      link.Tick();
      if (link.State() != ax25::ELinkState::Disconnected && link.NextTimerMs() < 0)
        return std::string("no timer set in state ") + ax25::LinkStateName(link.State());
      if (link.IsUp() && link.Outstanding() > 100) return "more outstanding than was sent";
    }
  }
  deframer.EndOfStream();
  return {};
}

std::string CheckDocument(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return {};
  const bool asFile = data[0] & 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  CLineStore store;
  store.AddLine("sentinel");
  FileFault error;
  const bool ok = asFile ? LoadDocumentBytes(store, bytes, error) : ParseContents(bytes, store, error);
  if (!ok) {
    if (!error.Failed() || DocumentFaultText(error).empty()) return "a refused input without a message";
    if (asFile && (store.LineCount() != 1 || store.LastLine() != "sentinel")) return "a refused file changed the store";
    return {};
  }
  if (store.LineCount() > CLineStore::kCapacity) return "more lines than the capacity";
  if (store.LineCount() > bytes.size()) return "more lines than bytes";
  // What was accepted must encode and parse back to the same lines.
  CLineStore again;
  if (!ParseContents(EncodeContents(store), again, error))
    return "re-encoded lines refused: " + DocumentFaultText(error);
  if (again.LineCount() != store.LineCount()) return "re-encoded line count differs";
  for (std::size_t i = 0; i < store.LineCount(); ++i) {
    if (again.LineAt(i) != store.LineAt(i)) return "re-encoded line " + std::to_string(i) + " differs";
  }
  return {};
}

}  // namespace nami::fuzz
