// The send engine on a port paced by its peer (nami's TNC2 in front of a
// network link or KISS): writes while the far side takes more, then asks for
// no timer at all until an acknowledgement (the next receive tick's Kick).
#include <gtest/gtest.h>

#include <string>

#include "send/SendEngine.h"
#include "support/FakePort.h"

namespace nami {
namespace {

// Holds what it took until acknowledged; its queue count is what it holds
// beyond one window, as nami's TNC2 reports.
class PeerPort final : public test::FakePort {
 public:
  static constexpr std::size_t kWindow = 512;
  bool PacedByPeer() const override { return true; }
  int PollFd() const override { return 99; }  // a socket: never handed to the pacer
  int TransmitQueueCount() override { return held > kWindow ? static_cast<int>(held - kWindow) : 0; }
  std::size_t SendText(std::string_view bytes) override {
    const std::size_t n = FakePort::SendText(bytes);
    held += n;
    return n;
  }
  std::size_t held = 0;
};

// Sends a text byte by byte while the engine's queue count is 0.
class TextSender final : public ISender {
 public:
  TextSender(CSendEngine& engine, std::string text) : engine_(engine), text_(std::move(text)) {}
  bool Step() override {
    if (pos_ < text_.size() && engine_.QueueCount() == 0) engine_.Send(std::string_view(text_).substr(pos_++, 1));
    return pos_ < text_.size();
  }

 private:
  CSendEngine& engine_;
  std::string text_;
  std::size_t pos_ = 0;
};

TEST(SendEngine, OnAPortPacedByItsPeerSendingWaitsForAcknowledgementsWithoutATimer) {
  PeerPort port;
  port.Open("COM1");
  CSendEngine engine;
  engine.SetPort(&port);
  std::string text;
  for (int i = 0; text.size() < 5000; ++i) text += "line " + std::to_string(i) + "\r";
  TextSender sender(engine, text);
  engine.Push(&sender);
  engine.Kick();
  int acknowledgements = 0;
  int passes = 0;
  while (!engine.Idle() && passes < 1000) {
    // Passes follow each other at once (timer 0) while the port takes more.
    while (engine.TimerMs() == 0 && passes < 1000) {
      engine.Run();
      ++passes;
    }
    if (engine.Idle()) break;
    ASSERT_EQ(engine.TimerMs(), -1) << "no timer while the peer holds the window";
    ASSERT_GT(port.TransmitQueueCount(), 0);
    // The far side acknowledges what it held; the receive tick kicks.
    port.held = 0;
    ++acknowledgements;
    engine.Kick();
  }
  EXPECT_EQ(port.sent, text) << "every byte once, in order";
  EXPECT_LE(acknowledgements, static_cast<int>(text.size() / PeerPort::kWindow) + 1);
  EXPECT_LE(passes, 2 * (acknowledgements + 1) + static_cast<int>(text.size() / CSendEngine::kPeerBatch) + 2)
      << "each pass hands over a whole batch";
  EXPECT_EQ(engine.TimerMs(), -1);
}

}  // namespace
}  // namespace nami
