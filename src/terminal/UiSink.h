// What the core asks of the user interface: the modal message boxes with
// their fixed texts, the beep, and the terminal pane's screen-update
// requests. The shell implements it with Qt; tests record the calls.
#pragma once

#include <string>

namespace nami {

class IUiSink {
 public:
  virtual ~IUiSink() = default;
  // A modal message box with an OK button; the text is CP932.
  virtual void ShowMessage(const std::string& text) = 0;
  virtual void Beep() = 0;

  // Terminal pane updates after new text (the pane paints from the core's
  // layout; these say how much of it to refresh).
  // Draw the newest lines and the current line now, as a full paint would.
  virtual void DrawDirect() {}
  // Invalidate (and erase) the whole pane.
  virtual void InvalidateAll() {}
  // Scroll the pane's pixels up by `lines` rows and invalidate the band
  // from row (rows - lines - 1) to row `rows`.
  virtual void ScrollLines(int /*lines*/) {}
  // Redraw the bottom row only; `clearRest` also blanks the rest of the row
  // (after received text), without it only the text is drawn (after a key).
  virtual void RedrawBottomRow(bool /*clearRest*/) {}
};

// The fixed message texts (CP932 where Japanese).
namespace msg {
inline const std::string CannotOpenFile = "Cannot Open File";
inline const std::string CannotWriteFile = "Cannot Write File";
inline const std::string CannotCloseFile = "Cannot Close File";
// ＣＯＭﾎﾟｰﾄを再設定し再度実行して下さい
inline const std::string ReconfigurePort =
    "\x82\x62\x82\x6E\x82\x6C\xCE\xDF\xB0\xC4\x82\xF0\x8D\xC4\x90\xDD\x92\xE8\x82\xB5\x8D\xC4\x93\x78\x8E\xC0"
    "\x8D\x73\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2";
}  // namespace msg

}  // namespace nami
