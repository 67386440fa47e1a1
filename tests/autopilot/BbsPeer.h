// A scripted TNC2 and BBS behind a test port: answers nami's commands the
// way the real pair would, one output chunk per receive tick.
//
// Command mode: 0x03 shows "cmd:", "CONNECT call" connects, "D" disconnects.
// Connected: "L..." lists the messages above the first number (up to the
// second, when given), "R n" sends message n, "SP ..." starts a mail that
// ends with Ctrl-Z, "B" logs off. Every answer ends with the BBS prompt.
// Disconnect() breaks the link at any moment; DisconnectAfterEvent(n) does
// so right after the n-th link event (a write by nami or a chunk read).
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "link/Port.h"
#include "text/ShiftJis.h"

namespace nami::test {

class BbsPeer : public IPort {
 public:
  bool Open(const std::string&) override {
    open_ = true;
    return true;
  }
  std::size_t ReadAvailable(char* buffer, std::size_t capacity) override {
    if (!open_ || output.empty()) return 0;
    std::string& chunk = output.front();
    std::size_t n = std::min(capacity, chunk.size());
    chunk.copy(buffer, n);
    chunk.erase(0, n);
    if (chunk.empty()) output.pop_front();
    Event();
    return n;
  }
  std::size_t SendText(std::string_view bytes) override {
    if (!open_) return 0;
    sent.append(bytes);
    for (char b : bytes) Byte(b);
    Event();
    return bytes.size();
  }
  int TransmitQueueCount() override { return queueCount; }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }

  void Disconnect() {
    connected = false;
    inMail_ = false;
    line_.clear();
    output.push_back("\r\n*** DISCONNECTED\r\ncmd:");
  }
  void DisconnectAfterEvent(int n) { disconnectAt_ = n; }
  int Events() const { return events_; }

  // The BBS's messages: number -> listing line text after the number.
  std::map<long long, std::string> messages;
  std::string prompt = "QZ1ABC>";
  std::string sent;                // every byte nami wrote, in order
  std::deque<std::string> output;  // chunks waiting for nami's ticks
  std::vector<std::string> mails;  // mail texts received (lines joined with "\n")
  std::vector<std::string> reads;  // read commands answered
  bool connected = false;
  int queueCount = 0;

 private:
  void Event() {
    if (++events_ == disconnectAt_) Disconnect();
  }
  void Reply(std::string text) { output.push_back(std::move(text) + prompt + "\r\n"); }

  void Byte(char b) {
    if (b == '\x03') {
      line_.clear();
      output.push_back("\r\ncmd:");
      command_ = true;
      return;
    }
    if (b != '\r') {
      line_ += b;
      return;
    }
    std::string l;
    l.swap(line_);
    if (command_ || !connected) {
      Command(l);
    } else {
      Converse(l);
    }
  }

  void Command(const std::string& l) {
    if (l.rfind("CONNECT ", 0) == 0) {
      connected = true;
      command_ = false;
      output.push_back("\r\n*** CONNECTED to " + l.substr(8) + "\r\n");
      Reply("Welcome to the test BBS\r\n");
    } else if (l == "D") {
      output.push_back(connected ? "\r\n*** DISCONNECTED\r\ncmd:" : "\r\nNot connected\r\ncmd:");
      connected = false;
    } else {
      output.push_back("\r\ncmd:");
    }
  }

  void Converse(const std::string& l) {
    if (inMail_) {
      if (l.find('\x1A') != std::string::npos) {
        inMail_ = false;
        mails.push_back(mail_);
        Reply("Msg queued\r\n");
      } else {
        mail_ += l + "\n";
      }
      return;
    }
    if (l.rfind("SP ", 0) == 0) {
      inMail_ = true;
      mail_ = l + "\n";
      return;
    }
    if (l == "B") {
      output.push_back("73!\r\n");
      Disconnect();
      return;
    }
    if (!l.empty() && l[0] == 'L') {
      long long from = LeadingNumber(l.substr(1));
      std::size_t gap = l.find_first_of(" -,", l.find_first_not_of(' ', 2));
      long long to = gap == std::string::npos ? -1 : LeadingNumber(l.substr(gap + 1));
      std::string text = "Msg#  From    Title\r\n";
      for (const auto& [n, title] : messages) {
        if (n > from && (to < 0 || n <= to)) text += std::to_string(n) + "  " + title + "\r\n";
      }
      Reply(text);
      return;
    }
    if (l.size() > 2 && l[0] == 'R' && l[1] == ' ') {
      long long n = LeadingNumber(l.substr(2));
      reads.push_back(l);
      Reply(messages.count(n) ? "Msg " + std::to_string(n) + "\r\nbody of " + std::to_string(n) + "\r\n"
                              : "No such message\r\n");
      return;
    }
    Reply("?Unknown command\r\n");
  }

  bool open_ = false;
  bool command_ = true;
  bool inMail_ = false;
  std::string line_;
  std::string mail_;
  int events_ = 0;
  int disconnectAt_ = -1;
};

}  // namespace nami::test
