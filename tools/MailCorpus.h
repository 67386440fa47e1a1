// A generated mail corpus for the mailbox benchmarks: messages as the
// simulated BBS prints them on a read (Japanese and English text in CP932),
// each answer followed by the BBS prompt, and the list lines of the same
// messages. A generator started from the same number writes the same
// bytes, so every benchmark run measures the same corpus.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "text/Cp932.h"

namespace nami::corpus {

// Words a search looks for: the three-character-plus word is in about one
// message of 2000, the two-character word in about one of 500.
inline constexpr const char* kRareWord = "電離層嵐";
inline constexpr const char* kRareTwo = "梅雨";
inline constexpr const char* kPrompt = "QZ1ABC BBS>";

class CGenerator {
 public:
  static constexpr std::uint64_t kStart = 0x6e616d69;  // "nami"
  explicit CGenerator(std::uint64_t first = kStart) : state_(first) {
    const char* words[] = {
        "本日",   "移動運用", "山頂",     "アンテナ", "無線機",   "交信",       "ありがとうございました",
        "天気",   "晴れ",     "曇り",     "雨",       "気温",     "周波数",     "パケット通信",
        "掲示板", "メール",   "コールサイン", "設定",  "電源",     "バッテリー", "ハンディ機",
        "受信",   "送信",     "信号",     "報告",     "よろしく", "お願いします", "次回",
        "週末",   "土曜日",   "日曜日",   "午後",     "午前",     "会場",       "ミーティング",
        "QSL",    "カード",   "発送",     "ビューロー", "DX",     "コンテスト", "結果",
        "packet", "radio",    "beacon",   "digipeater", "node",   "the",        "station",
        "is",     "on",       "air",      "tonight",  "73",       "QSO",        "frequency",
    };
    for (const char* w : words) words_.push_back(Utf8ToCp932(w));
    rare_ = Utf8ToCp932(kRareWord);
    rareTwo_ = Utf8ToCp932(kRareTwo);
  }

  // Message `number`: the read answer's lines (no line ends) and its list line.
  void Message(int number, std::vector<std::string>& lines, std::string& listLine) {
    lines.clear();
    const bool bulletin = Next() % 3 != 0;
    const std::string to = bulletin ? std::string(kTopics[Next() % 6]) : "QZ1XYZ";
    const std::string from = "QZ" + std::to_string(1 + Next() % 9) + Letters(3);
    const std::string date = "26" + Two(1 + Next() % 12) + Two(1 + Next() % 28) + "/" + Two(Next() % 24) + Two(Next() % 60);
    std::string subject = Sentence(3 + Next() % 4);
    std::vector<std::string> body;
    const int bodyLines = 14 + static_cast<int>(Next() % 26);
    for (int i = 0; i < bodyLines; ++i) body.push_back(Sentence(4 + Next() % 8));
    if (Next() % 2000 == 0) body[Next() % body.size()] += " " + rare_;
    if (Next() % 500 == 0) body[Next() % body.size()] += rareTwo_;
    int size = 0;
    for (const auto& l : body) size += static_cast<int>(l.size()) + 1;
    const char type = bulletin ? 'B' : 'P';
    char head[96];
    std::snprintf(head, sizeof head, "Msg# %d  Type: %c  Status: N  Size: %d", number, type, size);
    lines.push_back(head);
    lines.push_back("From: " + from + "  To: " + to + (bulletin ? " @JPN" : ""));
    lines.push_back("Date: " + date);
    lines.push_back("Subject: " + subject);
    lines.emplace_back();
    for (auto& l : body) lines.push_back(std::move(l));
    lines.emplace_back();
    char list[64];
    std::snprintf(list, sizeof list, "%-6d %cN %5d ", number, type, size);
    listLine = std::string(list) + Pad(to, 6) + " " + Pad(bulletin ? "@JPN" : "", 7) + " " + Pad(from, 6) + " " +
               date + " " + subject;
  }

  // Writes `count` messages as a mail log and a list log (CR LF), numbered
  // from `first`; the mail log's size in bytes.
  long long WriteLogs(const std::string& mailLog, const std::string& listLog, int first, int count) {
    std::FILE* mail = std::fopen(mailLog.c_str(), "wb");
    std::FILE* list = listLog.empty() ? nullptr : std::fopen(listLog.c_str(), "wb");
    long long bytes = 0;
    std::vector<std::string> lines;
    std::string listLine;
    for (int n = first; n < first + count; ++n) {
      Message(n, lines, listLine);
      for (const auto& l : lines) {
        std::fputs(l.c_str(), mail);
        std::fputs("\r\n", mail);
        bytes += static_cast<long long>(l.size()) + 2;
      }
      std::fputs(kPrompt, mail);
      std::fputs("\r\n", mail);
      bytes += 13;
      if (list) {
        std::fputs(listLine.c_str(), list);
        std::fputs("\r\n", list);
      }
    }
    std::fclose(mail);
    if (list) std::fclose(list);
    return bytes;
  }

 private:
  static constexpr const char* kTopics[] = {"ALL", "JPN", "WX", "SALE", "DX", "TECH"};
  std::uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  std::string Sentence(std::size_t words) {
    std::string s;
    for (std::size_t i = 0; i < words; ++i) s += words_[Next() % words_.size()] + (Next() % 4 == 0 ? " " : "");
    return s;
  }
  std::string Letters(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('A' + Next() % 26);
    return s;
  }
  static std::string Two(std::uint64_t v) { return (v < 10 ? "0" : "") + std::to_string(v); }
  static std::string Pad(std::string s, std::size_t w) {
    if (s.size() < w) s.append(w - s.size(), ' ');
    return s;
  }

  std::uint64_t state_;
  std::vector<std::string> words_;
  std::string rare_, rareTwo_;
};

}  // namespace nami::corpus
