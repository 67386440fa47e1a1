// The core half of the terminal pane: the current (unfinished) line, the
// receive tick and the keyboard's local echo.
//
// The shell runs Tick() when the port has data (and every 50 ms for a port
// without a descriptor): it takes all bytes waiting at the port,
// builds them into lines (line end, return to column 0, backspace, bell, an
// 80-byte width that never splits a two-byte character), hands completed
// lines to the line store, publishes what it saw to the document's receive
// listeners (ReceiveListener.h: the capture, the autopilot, the automatic
// responses) and tells the pane how much of itself to redraw. Key() does the same for one
// typed byte when local echo is on, then sends the byte.
//
// The wrap at the line's width is lazy, as on a terminal: a full line (80
// bytes, or 81 when its last character is two bytes starting at column
// 80) is completed by the next printable byte, which starts the new line,
// or by the line end, so a full line followed by its line end is one line.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "terminal/NamiDoc.h"

namespace nami {

class CTerminalCore {
 public:
  static constexpr int kWidth = 80;  // bytes per line (81 to keep a character whole)
  static constexpr std::size_t kReadSize = 4096;
  // A tick reads until the port has nothing more, up to this many bytes;
  // the rest waits for the next tick, so the window stays responsive.
  static constexpr std::size_t kMaxPerTick = 16 * kReadSize;

  explicit CTerminalCore(CNamiDoc& doc);

  // The pane's number of fully visible rows (R). Until the pane says
  // otherwise the core assumes 25.
  void SetRows(int rows) { rows_ = rows > 0 ? rows : 1; }
  int Rows() const { return rows_; }

  // One receive tick; returns the number of bytes it took from the port.
  std::size_t Tick();
  // Feeds bytes to the line builder exactly as a tick that read them would
  // (used by Tick and by tests that bypass the port).
  void Receive(const char* bytes, std::size_t count);
  // One typed byte: local echo when "echo" is "enable", then one SendText.
  void Key(unsigned char byte);

  // The current line as shown (up to its first NUL).
  std::string CurrentLine() const { return std::string(line_.data()); }
  int Column() const { return column_; }
  int SavedColumn() const { return savedColumn_; }
  // Empties the current line (a new document).
  void Reset();

 private:
  enum class Variant { Receive, Keyboard };
  // Completes the current line's first `length` bytes: the store, then (for
  // received text) the receive listeners. Returns whether the line holds the
  // TNC's disconnect notice.
  bool Complete(std::size_t length, bool toListeners);
  struct Built {
    int completed = 0;          // lines completed
    bool disconnected = false;  // one of them held the disconnect notice
  };
  // Builds received bytes into lines.
  Built Build(const char* bytes, std::size_t count, char lineEnd, char columnReset);
  void CutForDisplay();
  // Byte b arrives at a full line. False when b was taken as the second
  // byte of a two-byte character at column 80 (the line is then full at 81
  // bytes); true when the line must be completed and b start the next one.
  bool WrapByte(char b);
  std::size_t CompletedLength() const;
  // `length` (at most 81), cut to 80 when the 81st byte would be half a character.
  int WholeLength(int length) const;
  // The column at the start of a tick or a key: the line's visible end.
  void ResumeColumn();
  void StartNextLine(char b);
  void Backspace();
  void Update(int completed, Variant variant);

  CNamiDoc& doc_;
  std::array<char, 96> line_{};
  int column_ = 0;
  int savedColumn_ = -1;
  int rows_ = 25;
  bool repaintPending_ = true;
  std::array<char, kMaxPerTick + 16> buffer_{};
};

}  // namespace nami
