#include "autopilot/MailSender.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "files/UserFile.h"

namespace nami {

CMailSender::CMailSender(CNamiDoc& doc, const CRunState& run, std::function<void(FileEnd)> onFileEnd)
    : doc_(doc), run_(run), onFileEnd_(std::move(onFileEnd)) {}

CMailSender::~CMailSender() { Abandon(); }

void CMailSender::BuildSendQueue() {
  SendQueue.clear();
  SendQueueKeys.clear();
  for (std::size_t slot = 0; slot < keys::Send.size(); ++slot) {
    std::string name = doc_.Settings().SendPath(slot);
    if (name.empty()) continue;
    SendQueue.push_back(std::move(name));
    SendQueueKeys.push_back(slot);
  }
  SendQueueCursor = 0;
}

bool CMailSender::CanRecordSent() {
  if (SendQueueKeys.empty()) return true;
  return doc_.Settings().Rewrite(keys::Send[SendQueueKeys.front()]);
}

bool CMailSender::ClearQueuedKey(std::size_t index) {
  if (index >= SendQueueKeys.size()) return true;
  return doc_.Settings().Set(keys::Send[SendQueueKeys[index]], "");
}

CMailSender::StartResult CMailSender::SendNextQueuedFile() {
  const std::string name = SendQueue[SendQueueCursor++];
  return SendMailFile(name);
}

bool CMailSender::EmptySendKeys(const std::vector<std::string>& keep) {
  bool ok = true;
  for (std::size_t slot = 0; slot < keys::Send.size(); ++slot) {
    if (!keep.empty() && std::find(keep.begin(), keep.end(), doc_.Settings().SendPath(slot)) != keep.end()) continue;
    ok = doc_.Settings().Set(keys::Send[slot], "") && ok;
  }
  return ok;
}

CMailSender::StartResult CMailSender::OpenMailFile(const std::string& name) {
  // Never blocks: a FIFO named by mistake cannot hold the program.
  int fd = OpenUserFile(name, UserFileMode::Read, openFault_);
  if (fd < 0) return StartResult::NotOpened;
  // The file must be positionable: its length is taken before sending.
  const off_t length = ::lseek(fd, 0, SEEK_END);
  if (length < 0 || ::lseek(fd, 0, SEEK_SET) < 0) {
    ::close(fd);
    doc_.Ui().ShowMessage(msg::CannotOpenFile);
    return StartResult::Error;
  }
  fd_ = fd;
  name_ = name;
  bufferPos_ = bufferLen_ = 0;
  eof_ = false;
  taken_ = 0;
  length_ = length;
  return StartResult::Started;
}

CMailSender::StartResult CMailSender::SendMailFile(const std::string& name) {
  StartResult r = OpenMailFile(name);
  if (r != StartResult::Started) return r;
  opening_ = run_.Openings();
  if (!doc_.Sending().Contains(this)) doc_.Sending().Push(this);
  return r;
}

int CMailSender::Peek() {
  if (bufferPos_ < bufferLen_) return static_cast<unsigned char>(buffer_[bufferPos_]);
  if (eof_) return -1;
  ssize_t n;
  do {
    n = ::read(fd_, buffer_.data(), buffer_.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) return -2;
  bufferPos_ = 0;
  bufferLen_ = static_cast<std::size_t>(n);
  if (n == 0) {
    eof_ = true;
    return -1;
  }
  return static_cast<unsigned char>(buffer_[0]);
}

CMailSender::StepResult CMailSender::SendMailStep() {
  if (doc_.Sending().QueueCount() == 0) {
    int c = Peek();
    if (c == -2) return StepResult::Error;
    if (c >= 0 && c != 0x1A) {
      ++bufferPos_;
      ++taken_;
      if (c == '\r') {
        // CR LF is one line end.
        int next = Peek();
        if (next == -2) return StepResult::Error;
        if (next == '\n') {
          ++bufferPos_;
          ++taken_;
        }
      }
      const char out = (c == '\n') ? '\r' : static_cast<char>(c);
      doc_.SendText(std::string_view(&out, 1));
    }
  }
  const int next = Peek();
  if (next == -2) return StepResult::Error;
  return (next < 0 || next == 0x1A) ? StepResult::End : StepResult::More;
}

bool CMailSender::CloseMailFile() {
  const bool ok = ::close(fd_) == 0;
  fd_ = -1;
  doc_.SendText("\x1A\r");
  if (!ok) doc_.Ui().ShowMessage(msg::CannotCloseFile);
  return ok;
}

void CMailSender::EndForTermination() {
  if (fd_ < 0) return;
  doc_.Sending().Remove(this);
  CloseMailFile();
}

void CMailSender::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  doc_.Sending().Remove(this);
}

void CMailSender::Finish(FileEnd how) {
  // The callback may start the next file; Step() then stays on the stack.
  if (onFileEnd_) onFileEnd_(how);
}

void CMailSender::EndUnwanted() {
  if (run_.Openings() != opening_) {
    // The document was reinitialised while the file was going out.
    ::close(fd_);
    fd_ = -1;
    Finish(FileEnd::Superseded);
    return;
  }
  bool ok = CloseMailFile();
  Finish(ok ? FileEnd::Stopped : FileEnd::Error);
}

void CMailSender::StopNow() {
  CSendEngine& engine = doc_.Sending();
  if (fd_ < 0 || run_.Running() || engine.Newest() != this || engine.Queued() > 0) return;
  EndUnwanted();
  if (fd_ < 0) engine.Remove(this);
}

bool CMailSender::Step() {
  if (fd_ < 0) return false;
  if (run_.Openings() != opening_ || !run_.Running()) {
    EndUnwanted();
    return fd_ >= 0;
  }
  switch (SendMailStep()) {
    case StepResult::More:
      return true;
    case StepResult::End: {
      bool ok = CloseMailFile();
      Finish(ok ? FileEnd::Sent : FileEnd::Error);
      return fd_ >= 0;
    }
    case StepResult::Error:
      // The message is ended all the same: whatever follows (the log-off
      // "B", a typed line) would otherwise land in its body.
      ::close(fd_);
      fd_ = -1;
      doc_.SendText("\x1A\r");
      Finish(FileEnd::Error);
      return fd_ >= 0;
  }
  return false;
}

}  // namespace nami
