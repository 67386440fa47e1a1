#include "terminal/TerminalCore.h"

#include <algorithm>
#include <cstring>

#include "text/ShiftJis.h"

namespace nami {
namespace {
const char kDisconnected[] = "** DISCONNECTED";
}

CTerminalCore::CTerminalCore(CNamiDoc& doc) : doc_(doc) {}

void CTerminalCore::Reset() {
  line_.fill(0);
  column_ = 0;
  savedColumn_ = -1;
}

std::size_t CTerminalCore::Tick() {
  std::size_t n = 0;
  for (;;) {
    const std::size_t got = doc_.ReadAvailable(buffer_.data() + n, kReadSize);
    n += got;
    // Until the port has nothing more (a tty read returns at most 4,095
    // bytes, so a short read does not mean the port is empty).
    if (got == 0 || n + kReadSize > kMaxPerTick) break;
  }
  doc_.Publish([n](IReceiveListener& l) { l.OnRead(n); });
  if (n > 0) Receive(buffer_.data(), n);
  return n;
}

bool CTerminalCore::Complete(std::size_t length, bool toListeners) {
  const std::string_view text(line_.data(), strnlen(line_.data(), length));
  doc_.Lines().AddLine(text);
  const bool disconnected = ContainsAtCharStart(text, kDisconnected);
  // A listener's failed write is its own to report and does not stop the
  // tick: the rest of the received bytes still reach the store and the pane.
  if (toListeners) doc_.Publish([text](IReceiveListener& l) { l.OnLine(text); });
  return disconnected;
}

bool CTerminalCore::WrapByte(char b) {
  if (column_ == kWidth) {
    // A two-byte character starting at index 79 takes b as its second byte:
    // the 81-byte line is full, and its wrap waits for what comes next.
    int i = 0;
    while (i < kWidth - 1) i += IsLeadByte(line_[i]) ? 2 : 1;
    if (i == kWidth - 1 && IsLeadByte(line_[i])) {
      line_[kWidth] = b;
      column_ = kWidth + 1;
      return false;
    }
  }
  return true;
}

// A tick resumes at the visible end of the line. After a return and an
// overwrite in the last tick that end may be column 81 behind a character
// that is no longer two bytes: the stray byte is dropped, so a full line
// completed by the next byte never holds half a character.
void CTerminalCore::ResumeColumn() {
  column_ = static_cast<int>(strnlen(line_.data(), line_.size()));
  const int whole = WholeLength(column_);
  if (whole < column_) line_[static_cast<std::size_t>(whole)] = '\0';
  column_ = whole;
}

// After a return and an overwrite, the byte at column 81 may be the second
// half of a character whose first half was overwritten: a line is 81 bytes
// only while its last character is two bytes starting at column 80.
int CTerminalCore::WholeLength(int length) const {
  if (length <= kWidth) return length;
  int i = 0;
  while (i < kWidth - 1) i += IsLeadByte(line_[static_cast<std::size_t>(i)]) ? 2 : 1;
  return i == kWidth - 1 && IsLeadByte(line_[static_cast<std::size_t>(i)]) ? length : kWidth;
}

std::size_t CTerminalCore::CompletedLength() const { return static_cast<std::size_t>(column_); }

void CTerminalCore::StartNextLine(char b) {
  line_.fill(0);
  line_[0] = b;
  column_ = 1;
  savedColumn_ = -1;
}

void CTerminalCore::Backspace() {
  if (column_ == kWidth + 1) {
    // A full line's last character is two bytes: take it away whole.
    line_[--column_] = '\0';
    line_[--column_] = '\0';
  } else if (column_ > 0) {
    line_[--column_] = '\0';
  }
}

void CTerminalCore::Receive(const char* bytes, std::size_t count) {
  const bool serial = doc_.Settings().Raw(keys::Serial) == "yes";
  ResumeColumn();
  const Built built = Build(bytes, count, serial ? '\r' : '\n', serial ? '\n' : '\r');
  CutForDisplay();

  // What the autopilot and the automatic responses look at.
  const std::string current = CurrentLine();
  const std::string scan = (current.empty() || current == "cmd:") ? doc_.Lines().LastLine() + current : current;
  // Only this tick adds lines, so the newest stored line is the last one it
  // completed.
  const bool direct = static_cast<int>(doc_.Lines().LineCount()) < rows_;
  const std::string latest = direct ? current : built.completed > 0 ? doc_.Lines().LastLine() : std::string();
  const ReceivedTick tick{scan, built.disconnected || ContainsAtCharStart(scan, kDisconnected), latest};
  doc_.Publish([&tick](IReceiveListener& l) { l.OnTickEnd(tick); });

  Update(built.completed, Variant::Receive);
}

CTerminalCore::Built CTerminalCore::Build(const char* bytes, std::size_t count, char lineEnd, char columnReset) {
  Built built;
  for (std::size_t i = 0; i < count; ++i) {
    const char b = bytes[i];
    if (b == lineEnd) {
      const int cut = WholeLength(std::max(column_, savedColumn_));
      line_[cut] = '\0';
      // A disconnect notice followed by more text in the same tick (the TNC
      // echoing what is still being sent) must not be missed: the scan text
      // would hold only that later text.
      built.disconnected |= Complete(static_cast<std::size_t>(cut), true);
      ++built.completed;
      column_ = 0;
      savedColumn_ = -1;
      line_.fill(0);
    } else if (b == columnReset) {
      // Keep the longer of the two: a second return after a shorter
      // overwrite must not drop the rest of the line that is still shown.
      savedColumn_ = std::max(savedColumn_, column_);
      column_ = 0;
    } else if (b == '\x08') {
      Backspace();
    } else if (column_ >= kWidth) {
      if (WrapByte(b)) {
        built.disconnected |= Complete(CompletedLength(), true);
        ++built.completed;
        StartNextLine(b);
      }
    } else if (b == '\x13' || b == '\x11') {
      // XON and XOFF are flow control, not text.
    } else if (b == '\x07') {
      doc_.Ui().Beep();
    } else {
      line_[column_++] = b;
    }
  }
  return built;
}

void CTerminalCore::CutForDisplay() {
  // Cut the line for display where its visible text ends.
  if (savedColumn_ >= column_) {
    line_[savedColumn_] = '\0';
  } else {
    line_[column_] = '\0';
    savedColumn_ = -1;
  }
}

void CTerminalCore::Update(int completed, Variant variant) {
  IUiSink& ui = doc_.Ui();
  if (static_cast<int>(doc_.Lines().LineCount()) < rows_) {
    ui.DrawDirect();
    repaintPending_ = true;
  } else if (completed >= 1) {
    if (variant == Variant::Keyboard) {
      ui.InvalidateAll();
    } else if (repaintPending_) {
      ui.InvalidateAll();
      repaintPending_ = false;
    } else {
      ui.ScrollLines(completed);
    }
  } else if (repaintPending_) {
    ui.InvalidateAll();
    repaintPending_ = false;
  } else {
    ui.RedrawBottomRow(variant == Variant::Receive);
  }
}

void CTerminalCore::Key(unsigned char byte) {
  const bool echo = doc_.Settings().Raw(keys::Echo) == "enable";
  ResumeColumn();
  if (echo) {
    int completed = 0;
    const char b = static_cast<char>(byte);
    if (b == '\n') {
      // a line feed changes nothing on the screen
    } else if (b == '\x08') {
      Backspace();
    } else if (b == '\r') {
      line_[column_] = '\0';
      Complete(static_cast<std::size_t>(column_), false);
      // Clear the whole buffer: the saved column stays, and the old text
      // behind it must not come back into the next received line.
      line_.fill(0);
      column_ = 0;
      completed = 1;
    } else if ((static_cast<unsigned char>(b) < 0x20 && b != '\t') || b == 0x7F) {
      // Another control byte (Ctrl+C) is shown in caret notation, "^C", the
      // two characters always on one line.
      if (column_ > kWidth - 2) {
        Complete(CompletedLength(), false);
        line_.fill(0);
        column_ = 0;
        savedColumn_ = -1;
        completed = 1;
      }
      line_[column_++] = '^';
      line_[column_++] = static_cast<char>(b ^ 0x40);
    } else if (column_ < kWidth) {
      line_[column_++] = b;
    } else if (WrapByte(b)) {
      Complete(CompletedLength(), false);
      StartNextLine(b);
      completed = 1;
    }
    line_[column_] = '\0';
    Update(completed, Variant::Keyboard);
  }
  const char c = static_cast<char>(byte);
  doc_.SendText(std::string_view(&c, 1));
}

}  // namespace nami
