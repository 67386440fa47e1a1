#include "mailbox/Compose.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "mailbox/Recognise.h"
#include "text/Cp932.h"
#include "text/IniPath.h"

namespace nami::mailbox {

std::string SendCommandLine(std::string_view tpl, std::string_view to, std::string_view at) {
  std::string out(tpl);
  if (at.empty()) {
    // "SP {to} @ {at}" -> "SP {to}": the "@", its spaces and the place.
    const auto place = out.find("{at}");
    if (place != std::string::npos) {
      std::size_t from = out.rfind('@', place);
      if (from == std::string::npos || out.find_first_not_of(' ', from + 1) != place) from = place;
      while (from > 0 && out[from - 1] == ' ') --from;
      out.erase(from, place + 4 - from);
    }
  }
  for (auto [key, value] : {std::pair{std::string_view("{to}"), to}, std::pair{std::string_view("{at}"), at}}) {
    for (std::size_t p; (p = out.find(key)) != std::string::npos;) out.replace(p, key.size(), value);
  }
  return std::string(Trim(out));
}

std::string FirstUnencodable(std::string_view utf8) {
  std::size_t i = 0;
  while (i < utf8.size()) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    const std::string_view ch = utf8.substr(i, n);
    std::string bytes;
    if (!Utf8ToCp932Exact(ch, bytes)) {
      unsigned cp = n == 1 ? c : c & (0xFF >> (n + 1));
      for (std::size_t k = 1; k < ch.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(ch[k]) & 0x3F);
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", cp);
      return std::string(ch) + " (" + code + ")";
    }
    i += n;
  }
  return {};
}

namespace {

std::string IniFolder(const std::string& iniPath) {
  const auto slash = iniPath.rfind('/');
  return slash == std::string::npos ? std::string(".") : iniPath.substr(0, slash);
}

}  // namespace

namespace {

// The first free sendN (0 .. 4), or -1 when all five are taken.
int FreeSendSlot(CSettings& settings) {
  for (std::size_t i = 0; i < keys::Send.size(); ++i)
    if (settings.Raw(keys::Send[i]).empty()) return static_cast<int>(i);
  return -1;
}

// The mail file's bytes: the command line, the subject and the body, with
// CR LF line ends, in CP932. False when a character has no CP932 form.
bool MailFileBytes(const std::string& commandLine, const SComposeRequest& req, std::string& cp932,
                   std::string& error) {
  std::string text = commandLine + "\n" + req.subject + "\n" + req.body;
  if (!text.empty() && text.back() != '\n') text += '\n';
  std::string crlf;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  if (Utf8ToCp932Exact(crlf, cp932)) return true;
  error = "the character " + FirstUnencodable(crlf) + " has no Shift-JIS (CP932) form; the BBS could not receive it";
  return false;
}

// Creates outbox/<time>-<call>[-n].txt beside the settings file (never over
// an existing file) and writes `bytes` into it; `file` gets its name.
bool WriteOutboxFile(const CSettings& settings, const SComposeRequest& req, std::int64_t now,
                     const std::string& bytes, std::string& file, std::string& error) {
  const std::string folder = IniFolder(settings.Path()) + "/outbox";
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create " + folder + ": " + std::strerror(errno);
    return false;
  }
  char stamp[32];
  const std::time_t t = static_cast<std::time_t>(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  std::string call;
  for (char c : req.to) call += std::isalnum(static_cast<unsigned char>(c)) || c == '-' ? c : '_';
  int fd = -1;
  for (int n = 1; n < 100 && fd < 0; ++n) {
    file = folder + "/" + stamp + "-" + call + (n > 1 ? "-" + std::to_string(n) : "") + ".txt";
    fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = "cannot create " + file + ": " + std::strerror(errno);
    return false;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const int writeErr = errno;
  if (::close(fd) != 0 || done != bytes.size()) {
    error = "cannot write " + file + ": " + std::strerror(writeErr);
    ::unlink(file.c_str());
    return false;
  }
  return true;
}

}  // namespace

SComposeResult ComposeMail(CSettings& settings, const SComposeRequest& req, std::int64_t now) {
  SComposeResult r;
  if (Trim(req.to).empty()) {
    r.error = "compose needs --to CALL";
    return r;
  }
  if (req.body.find('\x1A') != std::string::npos) {
    r.error = "the body holds Ctrl-Z, which would end the message at the BBS there";
    return r;
  }
  r.slot = FreeSendSlot(settings);
  if (r.slot < 0) {
    r.error = "all five send slots (send1 .. send5) are taken; send or remove a queued mail first";
    return r;
  }
  const std::string tpl = settings.Get(req.bulletin ? keys::SendBulletinCommand : keys::SendPersonalCommand);
  r.commandLine = SendCommandLine(Cp932ToUtf8(tpl), req.to, req.at);
  std::string cp932;
  if (!MailFileBytes(r.commandLine, req, cp932, r.error)) return r;
  if (!WriteOutboxFile(settings, req, now, cp932, r.file, r.error)) return r;
  // Queued: the file's name as NAMI.INI holds it, in the free sendN.
  const std::optional<std::string> iniName = FsPathToIni(r.file);
  if (!iniName) {
    r.error = UnstorablePathMessage(r.file);
    ::unlink(r.file.c_str());
    return r;
  }
  if (!settings.Set(keys::Send[static_cast<std::size_t>(r.slot)], *iniName)) {
    r.error = "cannot write the settings file " + settings.Path();
    ::unlink(r.file.c_str());
    return r;
  }
  r.ok = true;
  return r;
}

}  // namespace nami::mailbox
