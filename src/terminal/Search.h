// Searching the line store for a text, and the history pane's search
// position that steps over the store by twos.
//
// A line contains a text when the text's bytes occur in it starting at a
// character start (never on the second byte of a two-byte character),
// compared byte for byte and case-sensitively. The empty text is contained in
// every non-empty line and in no empty one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "terminal/LineStore.h"

namespace nami {

bool LineContains(std::string_view line, std::string_view text);

// The first line at or after `start` that contains `text`; the line count
// when there is none; `start` itself when it is not a line index.
std::int64_t SearchDown(const CLineStore& store, std::int64_t start, std::string_view text);
// The first line at or before `start` that contains `text`; -1 when there is
// none; `start` itself when it is not a line index.
std::int64_t SearchUp(const CLineStore& store, std::int64_t start, std::string_view text);

// The search text and position of the history pane. A search starts two
// lines beyond where the last one ended; it wraps around only when asked
// (FromTop, FromBottom).
class CHistorySearch {
 public:
  static constexpr std::size_t kMaxText = 128;

  const std::string& Text() const { return text_; }
  std::int64_t Position() const { return position_; }

  // A new search condition: the position goes back to 0 at once; the text
  // changes only when the dialog is confirmed (SetText).
  void Reset() { position_ = 0; }
  void SetText(std::string text);

  // Each returns the scroll position to show, or nothing when the step
  // stopped before searching (the position is then 1).
  std::optional<std::int64_t> Down(const CLineStore& store) { return Step(store, +2); }
  std::optional<std::int64_t> Up(const CLineStore& store) { return Step(store, -2); }
  // Searching again from the first line down, or from the last line up,
  // after a step found nothing more.
  std::int64_t FromTop(const CLineStore& store);
  std::int64_t FromBottom(const CLineStore& store);
  // Whether a step's result is a line that holds the text.
  static bool Found(const CLineStore& store, std::optional<std::int64_t> position) {
    return position && *position >= 0 && *position < static_cast<std::int64_t>(store.LineCount());
  }

 private:
  std::optional<std::int64_t> Step(const CLineStore& store, int delta);

  std::string text_;
  std::int64_t position_ = 0;
};

}  // namespace nami
