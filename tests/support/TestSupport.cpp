#include "support/TestSupport.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "text/Cp932.h"

namespace nami::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "nami-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string Sjis(const std::string& utf8) { return Utf8ToCp932(utf8); }

FullDisk::FullDisk() {
  rlimit r{};
  ::getrlimit(RLIMIT_FSIZE, &r);
  soft_ = r.rlim_cur;
  handler_ = std::signal(SIGXFSZ, SIG_IGN);
  r.rlim_cur = 0;
  ::setrlimit(RLIMIT_FSIZE, &r);
}

FullDisk::~FullDisk() {
  rlimit r{};
  ::getrlimit(RLIMIT_FSIZE, &r);
  r.rlim_cur = static_cast<rlim_t>(soft_);
  ::setrlimit(RLIMIT_FSIZE, &r);
  std::signal(SIGXFSZ, handler_);
}

}  // namespace nami::test
