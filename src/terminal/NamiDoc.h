// The document: one station profile and everything that outlives a pane.
//
// It owns the port, the line store, the automatic responses and the ordered
// list of receive listeners (ReceiveListener.h) the receive tick publishes
// to. Its title names the profile section of the settings. Parts that keep
// state for one opening of the port (the transfers, the history pane's
// marks, the autopilot's run state) listen for OpenPort.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/Port.h"
#include "send/SendEngine.h"
#include "settings/Settings.h"
#include "activity/Activity.h"
#include "terminal/LineStore.h"
#include "terminal/ReceiveListener.h"
#include "terminal/UiSink.h"

namespace nami {

struct AutoResponse {
  std::string trigger;   // empty = no trigger
  std::string response;  // sent with CR when the trigger is seen
};

// Told when the port is (re)opened, before it opens: whatever belongs to
// the last opening ends (a transfer and its file, the marked range).
class IOpenListener {
 public:
  virtual ~IOpenListener() = default;
  virtual void OnPortOpening() = 0;
};

class CNamiDoc {
 public:
  CNamiDoc(CSettings& settings, IUiSink& ui);

  CSettings& Settings() { return settings_; }
  IUiSink& Ui() { return ui_; }

  // ---- Title and profile section ----
  // The document's file path; empty for a new, never-saved document.
  const std::string& PathName() const { return path_; }
  // The title: "無題" (CP932) when untitled, else the file name without
  // folder and extension. The profile section has this name.
  const std::string& Title() const { return settings_.ProfileSection(); }
  // Takes `path` as the document's own (empty = untitled); the title and
  // with it the profile section follow.
  void SetPathName(const std::string& path);

  // ---- Port ----
  void SetPort(std::unique_ptr<IPort> port);
  IPort* Port() { return port_.get(); }
  // Tells the open listeners, loads the automatic responses from the
  // profile and (re)opens the port; shows the port message once on failure.
  void OpenPort(const std::string& comstatus);
  // OpenPort with the profile's "comstatus" (its default when empty).
  void OpenPortFromProfile();
  void ClosePort();
  bool PortOpen() const;
  // Why the port is not open: device and reason, UTF-8 (see IPort::Failure).
  std::string PortFailure() const;
  // Every sender's one write, through the send engine: what the port does
  // not take at once waits, in order, and goes out as the port takes it; no
  // byte is dropped. Returns the count accepted: all of it, or 0 when the
  // port is not open.
  std::size_t SendText(std::string_view bytes) { return sending_.Send(bytes); }
  // SendText for text nami sends on its own (the autopilot's commands): it
  // is reported to the activity first.
  std::size_t SendOwn(std::string_view bytes);
  std::size_t ReadAvailable(char* buffer, std::size_t capacity);
  // The send engine: the outgoing queue, the senders (upload, paste-send,
  // a mail file; only the newest sends) and the pacing.
  CSendEngine& Sending() { return sending_; }
  const CSendEngine& Sending() const { return sending_; }
  // Listeners are told in the order they were added; each removes itself
  // before it goes.
  void AddOpenListener(IOpenListener* listener);
  void RemoveOpenListener(IOpenListener* listener);

  // ---- Run activity (the activity pane, headless stderr); none by default ----
  void SetActivity(CActivity* activity) { activity_ = activity; }
  // Text is UTF-8; nothing happens without an activity.
  void Report(ActivityKind kind, std::string text);

  // ---- Line store ----
  CLineStore& Lines() { return lines_; }
  const CLineStore& Lines() const { return lines_; }

  // ---- Automatic responses, loaded when the port is opened; the last receive listener ----
  std::array<AutoResponse, 3> Responses;

  // ---- Receive listeners, visited in slot order ----
  // The responses slot starts with the document's own; nullptr empties a
  // slot.
  void SetReceiveListener(ReceiveSlot slot, IReceiveListener* listener) {
    listeners_[static_cast<std::size_t>(slot)] = listener;
  }
  IReceiveListener* ReceiveListener(ReceiveSlot slot) const { return listeners_[static_cast<std::size_t>(slot)]; }
  template <class Event>
  void Publish(Event&& event) const {
    for (IReceiveListener* l : listeners_)
      if (l) event(*l);
  }

 private:
  // The responses slot's listener: each response whose trigger is in the scan text.
  class CAnswerResponses final : public IReceiveListener {
   public:
    explicit CAnswerResponses(CNamiDoc& doc) : doc_(doc) {}
    void OnTickEnd(const ReceivedTick& tick) override;

   private:
    CNamiDoc& doc_;
  };
  CSettings& settings_;
  IUiSink& ui_;
  std::unique_ptr<IPort> port_;
  CSendEngine sending_;
  CActivity* activity_ = nullptr;
  std::vector<IOpenListener*> openListeners_;
  CAnswerResponses answerResponses_{*this};
  std::array<IReceiveListener*, kReceiveSlots> listeners_{nullptr, nullptr, &answerResponses_};
  CLineStore lines_;
  std::string path_;
};

}  // namespace nami
