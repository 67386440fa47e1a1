// The mail sending step's files: the queue built from "send1".."send5" and
// the sender that puts one queued file on the link.
//
// A file goes out one byte at a time, only while the port's transmit queue
// is empty, with every line end (CR LF, lone LF, lone CR) sent as CR, and is
// followed by Ctrl-Z and CR. The sender is handed to the document's send
// engine, which steps it whenever the port may take more; the file's end
// goes back to the autopilot through `onFileEnd`. A Ctrl-Z inside a file
// ends the file there: the BBS would take it as the end of the message.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "autopilot/RunState.h"
#include "terminal/NamiDoc.h"
#include "text/FileFault.h"

namespace nami {

class CMailSender final : public ISender {
 public:
  // How sending of one file ended.
  enum class FileEnd {
    Sent,        // the whole file and its end marker went out
    Stopped,     // the run flag went (CRunState::Running()); the end marker went out
    Superseded,  // the document was reinitialised meanwhile; nothing more was sent
    Error,       // a file error (the end marker went out after a read
                 // error); the user has been told where the texts say so
  };
  enum class StartResult { Started, NotOpened, Error };
  enum class StepResult { More, End, Error };

  // `onFileEnd` is called once per started file, from Step(), after the file
  // has been closed. It may start the next file.
  CMailSender(CNamiDoc& doc, const CRunState& run, std::function<void(FileEnd)> onFileEnd);
  ~CMailSender() override;

  // Reads "send1".."send5" into SendQueue (non-empty values, key order).
  void BuildSendQueue();
  // Writes the first queued key again with its own value: true when the
  // settings can be written now, so that a mail about to be posted can be
  // taken off the queue once the BBS has it.
  bool CanRecordSent();
  // Empties the key of queue entry `index` (a file the BBS has taken);
  // false when the settings could not be written.
  bool ClearQueuedKey(std::size_t index);
  bool QueueEmpty() const { return SendQueue.empty(); }
  bool HasNextFile() const { return SendQueueCursor < SendQueue.size(); }
  // Takes the next queued name and starts sending it.
  StartResult SendNextQueuedFile();
  // Opens a file and pushes the sender; NotOpened when it cannot be opened
  // (skipped without a message).
  StartResult SendMailFile(const std::string& name);
  // Writes the five queue keys empty, in order, except those naming a
  // file in `keep`; false when one could not be written.
  bool EmptySendKeys(const std::vector<std::string>& keep = {});
  // Quitting or a reset: closes the file without sending anything more.
  // A termination: the file going out ends where it is with ^Z (no
  // further callback); it stays queued for the next run.
  void EndForTermination();
  void Abandon();
  bool Sending() const { return fd_ >= 0; }
  std::string CurrentFile() const { return name_; }
  // Why the last file did not open.
  const FileFault& OpenFault() const { return openFault_; }
  // Bytes of the current file taken so far, and its length when opened.
  std::int64_t Position() const { return taken_; }
  std::int64_t Length() const { return length_; }

  // The run was stopped (AutoRunning cleared): a file that is going out now
  // (the engine's newest sender, nothing of its queue ahead) ends at once,
  // as its next step would end it, and its end is reported; a file held
  // behind other text ends when the engine comes back to it.
  void StopNow();
  // ISender: one pass of the file loop. False once the file has ended.
  bool Step() override;

  std::vector<std::string> SendQueue;
  std::vector<std::size_t> SendQueueKeys;  // which of send1..send5 each entry came from
  std::size_t SendQueueCursor = 0;

 private:
  StartResult OpenMailFile(const std::string& name);
  StepResult SendMailStep();
  // Ends the file the run no longer wants: superseded, or stopped with its
  // end marker.
  void EndUnwanted();
  bool CloseMailFile();
  // The next byte of the file, -1 at the end, -2 on a read error.
  int Peek();
  void Finish(FileEnd how);

  CNamiDoc& doc_;
  const CRunState& run_;
  std::function<void(FileEnd)> onFileEnd_;
  int fd_ = -1;
  std::string name_;
  FileFault openFault_;
  std::array<char, 4096> buffer_{};
  std::size_t bufferPos_ = 0;
  std::size_t bufferLen_ = 0;
  bool eof_ = false;
  std::int64_t taken_ = 0;
  std::int64_t length_ = 0;
  std::uint64_t opening_ = 0;  // the run state's Openings() when the file started
};

}  // namespace nami
