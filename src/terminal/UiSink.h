// What the core asks of the user interface: the modal message boxes (their
// fixed texts are in text/Messages.h), the beep, and the terminal pane's
// screen-update requests. The station passes them on to its shell (the
// window shows them with Qt, the headless runner prints the messages);
// tests record the calls.
#pragma once

#include <string>

#include "text/Messages.h"

namespace nami {

class IUiSink {
 public:
  virtual ~IUiSink() = default;
  // A modal message box with an OK button; the text is UTF-8.
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

}  // namespace nami
