#include "activity/Activity.h"

#include <algorithm>

#include "text/Cp932.h"
#include "text/Messages.h"

namespace nami {
namespace {

std::string Grouped(std::int64_t value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(digits.size()) - 3; i > 0; i -= 3)
    digits.insert(static_cast<std::size_t>(i), 1, ',');
  return value < 0 ? "-" + digits : digits;
}

}  // namespace

void CActivity::Add(ActivityKind kind, std::string text) {
  const ActivityEntry entry{clock_.Now(), kind, std::move(text)};
  // A listener may remove itself: walk a copy.
  const auto listeners = listeners_;
  for (const auto& [id, listener] : listeners) listener(entry);
}

void CActivity::AddSent(std::string_view cp932) {
  if (listeners_.empty()) return;
  for (std::string& line : VisibleSentText(cp932)) Add(ActivityKind::Sent, std::move(line));
}

int CActivity::Listen(Listener listener) {
  listeners_.emplace_back(nextId_, std::move(listener));
  return nextId_++;
}

void CActivity::Unlisten(int id) {
  std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

std::string FormatActivity(const ActivityEntry& entry) {
  std::string text = FormatLocalTime("%H:%M:%S", entry.time) + "  ";
  if (entry.kind == ActivityKind::Sent) text += "> ";
  return text + entry.text;
}

std::vector<std::string> VisibleSentText(std::string_view cp932) {
  std::vector<std::string> lines;
  std::string piece;
  auto flush = [&] {
    lines.push_back(Cp932ToUtf8(piece));
    piece.clear();
  };
  for (char c : cp932) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\r') {
      flush();
    } else if (b < 0x20 || b == 0x7F) {
      piece += '^';
      piece += static_cast<char>(b == 0x7F ? '?' : b + 0x40);
    } else {
      piece += c;
    }
  }
  if (!piece.empty()) flush();
  return lines;
}

std::string FormatProgress(std::string_view nameUtf8, std::int64_t done, std::int64_t total, std::int64_t elapsedMs) {
  std::string text(nameUtf8);
  if (!text.empty()) text += ' ';
  text += msg::Format(msg::ProgressBytes, {{"done", Grouped(done)}, {"total", Grouped(total)}});
  if (elapsedMs >= 1000) text += ' ' + msg::Format(msg::ProgressRate, {{"rate", Grouped(done * 1000 / elapsedMs)}});
  return text;
}

}  // namespace nami
