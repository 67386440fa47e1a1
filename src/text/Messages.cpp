#include "text/Messages.h"

#include <netdb.h>

#include <cerrno>

namespace nami::msg {

std::string Format(std::string_view text, std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  std::string out;
  out.reserve(text.size() + 64);
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('{', pos);
    const std::size_t close = open == std::string_view::npos ? open : text.find('}', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text, pos, open - pos);
    const std::string_view name = text.substr(open + 1, close - open - 1);
    const auto* value = values.begin();
    while (value != values.end() && value->first != name) ++value;
    if (value != values.end()) {
      out.append(value->second);
    } else {
      out.append(text, open, close - open + 1);
    }
    pos = close + 1;
  }
  out.append(text, pos);
  return out;
}

std::string SystemErrorText(int error) {
  static const std::pair<int, const std::string*> kWords[] = {
      {ECONNREFUSED, &ErrConnectionRefused}, {ETIMEDOUT, &ErrTimedOut},
      {EHOSTUNREACH, &ErrHostUnreachable},   {ENETUNREACH, &ErrNetworkUnreachable},
      {ENETDOWN, &ErrNetworkDown},           {ECONNRESET, &ErrConnectionReset},
      {EPIPE, &ErrBrokenPipe},               {EADDRNOTAVAIL, &ErrAddressNotAvailable},
      {ENOENT, &ErrNoEntry},                 {ENODEV, &ErrNoDevice},
      {ENXIO, &ErrNoDevice},                 {EACCES, &ErrAccess},
      {EPERM, &ErrAccess},                   {EBUSY, &ErrBusy},
      {EIO, &ErrIo},                         {EISDIR, &ErrIsFolder},
      {ENOTDIR, &ErrNotFolder},              {ENOTTY, &ErrNotTerminal},
      {EINVAL, &ErrInvalid},                 {EMFILE, &ErrTooManyFiles},
      {ENFILE, &ErrTooManyFiles},
  };
  for (const auto& [number, text] : kWords)
    if (number == error) return *text;
  return Format(ErrOther, {{"number", std::to_string(error)}});
}

std::string NameErrorText(int code) {
  if (code == EAI_NONAME) return ErrNameUnknown;
  if (code == EAI_AGAIN) return ErrNameTryAgain;
  if (code == EAI_SYSTEM) return SystemErrorText(errno);
  return Format(ErrNameOther, {{"number", std::to_string(code)}});
}

}  // namespace nami::msg
