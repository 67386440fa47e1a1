// The history pane: a scrollable window onto the whole line store, with
// marking of lines, the read command on double-click, search and
// edit-and-send. The decisions (scroll steps, marks, band rows, search
// positions, the bytes sent) live in CHistoryModel and CHistorySearch; this
// widget measures, paints and turns mouse, focus and scroll-bar events into
// their requests.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "terminal/HistoryModel.h"
#include "terminal/NamiDoc.h"
#include "terminal/Search.h"
#include "ui/Command.h"

namespace nami {

class CNamiView2 : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit CNamiView2(CNamiDoc& doc, QWidget* parent = nullptr);

  // After each receive tick that added lines: the scroll range grows and
  // evicted lines are taken off the top line, so the text in view stays.
  void OnStoreChanged();
  // A new or opened document replaced the store: the pane shows its top.
  void OnStoreReplaced();
  // The same, coalesced: at once when the pane last followed the store
  // kCoalesceMs ago or more, else once when that time is up (a busy line
  // adds lines on every receive tick; the terminal pane repaints as seldom).
  void StoreChangedSoon();
  static constexpr int kCoalesceMs = 50;
  // Updates held for the timer, and updates made (measurements, tests).
  bool UpdateHeld() const { return heldUpdate_.isActive(); }
  std::uint64_t StoreUpdates() const { return storeUpdates_; }
  std::int64_t TopLine() const { return model_.TopLine(); }
  // The marked range (the model's), and placing it directly.
  const MarkedRange& Marks() const { return model_.Marks(); }
  void SetMarks(MarkedRange marks);

  // Search condition (CSearchDlg), search down and search up.
  void Search();
  void SearchNext();
  void SearchPrev();
  // The store line the last search found (drawn on a yellow ground); -1 when none.
  std::int64_t HitLine() const { return hitLine_; }
  static QColor HitColor() { return QColor(0xFF, 0xE0, 0x40); }
  // Edit and send (CLineEditDlg): the marked lines, edited, go out in one write.
  void EditAndSend();

  // How the context menu's commands are run and enabled: in the main window
  // through the window's command table like menu commands (the pane is the
  // active one after the click). Without them the items are disabled.
  std::function<void(Command id)> runCommand;
  std::function<bool(Command id)> commandEnabled;
  // How the pane tells the user something (a search found nothing more);
  // without it a message box.
  std::function<void(const QString&)> showMessage;

  // How a dialog is asked for its text: called with the starting text; calls
  // `done` with OK/cancel and the text when the user has finished. The
  // default opens the real dialog window-modal, without a nested event loop.
  using TextDone = std::function<void(bool ok, const QString& text)>;
  using TextRequest = std::function<void(const QString& initial, TextDone done)>;
  void SetSearchRequest(TextRequest request) { searchRequest_ = std::move(request); }
  void SetLineEditRequest(TextRequest request) { lineEditRequest_ = std::move(request); }

  const CHistoryModel& Model() const { return model_; }
  const CHistorySearch& SearchState() const { return search_; }
  int LineHeight() const { return lineHeight_; }
  const QFont& PaneFont() const { return font_; }

 Q_SIGNALS:
  // The pane got the focus: the commands now act on it.
  void activated();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void ShowHit(std::optional<std::int64_t> position);
  void SearchStep(int direction);
  void ClearHit();
  void Measure();
  void SyncScrollBar();
  void Apply(const HistoryUpdate& update);
  void OnScrollAction(int action);
  void ShowContextMenu(const QPoint& pos);
  void ShowSearchDialog(const QString& initial, TextDone done);
  void ShowLineEditDialog(const QString& initial, TextDone done);

  CNamiDoc& doc_;
  CHistoryModel model_;
  CHistorySearch search_;
  std::int64_t hitLine_ = -1;
  int wrap_ = 0;  // +1 / -1: the last search down / up found nothing; the next one wraps around
  QFont font_;
  int lineHeight_ = 1;
  int wheelRemainder_ = 0;
  bool syncing_ = false;
  TextRequest searchRequest_;
  TextRequest lineEditRequest_;
  QTimer heldUpdate_;
  QElapsedTimer lastUpdate_;
  std::uint64_t storeUpdates_ = 0;
};

}  // namespace nami
