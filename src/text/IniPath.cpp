#include "text/IniPath.h"

#include "text/Cp932.h"
#include "text/Messages.h"

namespace nami {

std::string IniPathToFs(std::string_view cp932) { return Cp932ToUtf8(cp932); }

std::optional<std::string> FsPathToIni(std::string_view fsPath) {
  std::string cp932;
  if (!Utf8ToCp932Exact(fsPath, cp932)) return std::nullopt;
  return cp932;
}

std::string UnstorablePathMessage(std::string_view fsPath) {
  return msg::Format(msg::UnstorablePath, {{"path", fsPath}});
}

namespace {
std::string_view BaseName(std::string_view fsPath) {
  std::size_t slash = fsPath.rfind('/');
  std::string_view name = slash == std::string_view::npos ? fsPath : fsPath.substr(slash + 1);
  std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return name;
}
}  // namespace

std::string ProfileSectionForDocument(std::string_view fsPath) { return Utf8ToCp932(BaseName(fsPath)); }

bool DocumentNameStorable(std::string_view fsPath) { return FsPathToIni(BaseName(fsPath)).has_value(); }

}  // namespace nami
