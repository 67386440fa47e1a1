// Small helpers shared by the tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "terminal/UiSink.h"
#include "text/FileFault.h"

namespace nami {
// A fault in a failed assertion's message: the file and the reason.
inline std::ostream& operator<<(std::ostream& out, const FileFault& fault) {
  return out << fault.path << ": " << FileFaultText(fault);
}
}  // namespace nami

namespace nami::test {

// A fresh temporary folder, removed with everything in it when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// Records what the core asked of the user interface.
class RecordingSink : public IUiSink {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void Beep() override { ++beeps; }
  void DrawDirect() override { ++draws; updates.push_back("draw"); }
  void InvalidateAll() override { ++invalidates; updates.push_back("all"); }
  void ScrollLines(int lines) override { updates.push_back("scroll " + std::to_string(lines)); }
  void RedrawBottomRow(bool clearRest) override { updates.push_back(clearRest ? "bottom+clear" : "bottom"); }

  std::vector<std::string> messages;
  std::vector<std::string> updates;
  int beeps = 0;
  int draws = 0;
  int invalidates = 0;
};

// While it lives, every write to a regular file fails as on a full disk:
// the file size limit is 0 and SIGXFSZ is ignored, so writes give EFBIG.
class FullDisk {
 public:
  FullDisk();
  ~FullDisk();
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;

 private:
  unsigned long long soft_ = 0;
  void (*handler_)(int) = nullptr;
};

// UTF-8 source text as CP932 bytes.
std::string Sjis(const std::string& utf8);

}  // namespace nami::test
