// A port for tests: records every byte sent in order, hands out scripted
// input one chunk per read, reports a chosen transmit-queue count and can
// be told to fail opening or writing.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "link/Port.h"

namespace nami::test {

class FakePort : public IPort {
 public:
  bool Open(const std::string& comstatus) override {
    ++openCount;
    lastConfig = comstatus;
    open = !failOpen;
    return open;
  }
  std::size_t ReadAvailable(char* buffer, std::size_t capacity) override {
    if (!open || input.empty()) return 0;
    std::string& chunk = input.front();
    std::size_t n = std::min(capacity, chunk.size());
    chunk.copy(buffer, n);
    chunk.erase(0, n);
    if (chunk.empty()) input.pop_front();
    return n;
  }
  std::size_t SendText(std::string_view bytes) override {
    ++writeCount;
    if (!open || failWrites) return 0;
    if (takeAtMost >= 0 && bytes.size() > static_cast<std::size_t>(takeAtMost)) bytes = bytes.substr(0, takeAtMost);
    if (bytes.empty()) return 0;
    sent.append(bytes);
    writes.emplace_back(bytes);
    return bytes.size();
  }
  int TransmitQueueCount() override { return queueCount; }
  void Close() override {
    if (open) ++closeCount;
    open = false;
  }
  bool IsOpen() const override { return open; }
  std::string Failure() const override { return open ? std::string() : failure; }
  bool TakeLost() override {
    const bool was = lost;
    lost = false;
    return was;
  }
  // The device vanishes: the port closes itself and says so once.
  void Vanish(const std::string& why) {
    open = false;
    lost = true;
    failure = why;
  }

  // Queues one chunk for one later read.
  void Deliver(std::string chunk) { input.push_back(std::move(chunk)); }
  std::string TakeSent() {
    std::string s;
    s.swap(sent);
    writes.clear();
    return s;
  }

  std::deque<std::string> input;
  std::string sent;                 // every byte taken, in order
  std::vector<std::string> writes;  // one entry per SendText that was taken
  int queueCount = 0;
  bool failOpen = false;
  bool failWrites = false;
  int takeAtMost = -1;  // >= 0: each write takes at most this many bytes
  bool open = false;
  int openCount = 0;
  int closeCount = 0;
  int writeCount = 0;
  std::string lastConfig;
  bool lost = false;
  std::string failure;
};

}  // namespace nami::test
