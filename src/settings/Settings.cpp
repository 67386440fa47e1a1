#include "settings/Settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "text/Cp932.h"
#include "text/IniPath.h"
#include "text/Messages.h"
#include "text/ShiftJis.h"

namespace nami {

const std::string& CSettings::UntitledTitle() {
  // The title names a NAMI.INI section, so it is kept in CP932.
  static const std::string title = Utf8ToCp932(msg::Untitled);
  return title;
}

std::string CSettings::TitleForPath(std::string_view path) { return ProfileSectionForDocument(path); }

std::string CSettings::ProfileForDocument(std::string_view path) const {
  std::string title = TitleForPath(path);
  const std::size_t slash = path.rfind('/');
  const std::string whole = Utf8ToCp932(slash == std::string_view::npos ? path : path.substr(slash + 1));
  if (whole != title && !ini_.HasSection(title) && ini_.HasSection(whole)) return whole;
  return title;
}

CSettings::CSettings(std::string iniPath, IFileOps& ops) : ini_(std::move(iniPath), ops), profile_(UntitledTitle()) {}

std::string CSettings::SectionName(Section s) const {
  switch (s) {
    case Section::Window: return "Window";
    case Section::Editor: return "Editor Name";
    case Section::Devices: return "Devices";
    case Section::Profile: break;
  }
  return profile_;
}

std::string CSettings::RawCut(const KeySpec& key, int bufSize) const {
  return ini_.ReadString(SectionName(key.section), key.name, bufSize);
}

std::string CSettings::Get(const KeySpec& key) const {
  std::string v = Raw(key);
  return v.empty() ? std::string(key.fallback) : v;
}

int CSettings::GetInt(const KeySpec& key) const {
  std::string v = Raw(key);
  if (v.empty()) v = key.fallback;
  long long n = LeadingNumber(v);
  if (n > 0x7FFFFFFF) return 0x7FFFFFFF;
  if (n < -0x7FFFFFFF) return -0x7FFFFFFF;
  return static_cast<int>(n);
}

bool CSettings::Has(const KeySpec& key) const { return ini_.HasKey(SectionName(key.section), key.name); }

bool CSettings::Set(const KeySpec& key, std::string_view value) {
  return ini_.WriteString(SectionName(key.section), key.name, value);
}

bool CSettings::Rewrite(const KeySpec& key) {
  const std::string section = SectionName(key.section);
  return ini_.WriteString(section, key.name, ini_.ReadString(section, key.name, 1 << 20));
}

std::string CSettings::DevicePath(std::string_view comName) const {
  std::string path = ini_.ReadString("Devices", comName, 4096);
  if (!path.empty()) return IniPathToFs(path);
  // COM1 .. COM9 are the first serial ports; any other name is no device.
  if (comName.size() == 4 && (comName[0] == 'C' || comName[0] == 'c') && (comName[1] == 'O' || comName[1] == 'o') &&
      (comName[2] == 'M' || comName[2] == 'm') && comName[3] >= '1' && comName[3] <= '9') {
    return "/dev/ttyS" + std::to_string(comName[3] - '1');
  }
  return {};
}

bool CSettings::SetDevicePath(std::string_view comName, std::string_view path) {
  const std::optional<std::string> stored = FsPathToIni(path);
  return stored && ini_.WriteString("Devices", comName, *stored);
}

std::string CSettings::MyCall() const { return ini_.ReadString("Devices", "MYCALL", 16); }

bool CSettings::SetMyCall(std::string_view call) { return ini_.WriteString("Devices", "MYCALL", call); }

std::string CSettings::ListFilePath() const { return IniPathToFs(Get(keys::ListFile)); }
std::string CSettings::MailFilePath() const { return IniPathToFs(Get(keys::MailFile)); }
std::string CSettings::SendPath(std::size_t slot) const {
  return slot < keys::Send.size() ? IniPathToFs(Raw(keys::Send[slot])) : std::string();
}

bool CSettings::CopyProfileFrom(std::string_view from) {
  bool ok = true;
  for (const KeySpec* key : keys::ProfileCopyOrder) {
    if (!ini_.ReadString(profile_, key->name, key->bufSize).empty()) continue;
    ok = ini_.WriteString(profile_, key->name, ini_.ReadString(from, key->name, key->bufSize)) && ok;
  }
  return ok;
}

std::string ResolveIniPath(std::string_view commandLineIni) {
  if (!commandLineIni.empty()) return std::string(commandLineIni);
  if (const char* env = std::getenv("NAMI_INI"); env && *env) return env;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/nami/NAMI.INI";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/nami/NAMI.INI";
}

std::string DemoIniPath() {
  struct stat st {};
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string dir;
  if (runtime && *runtime && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) {
    dir = std::string(runtime) + "/nami-demo";
  } else {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    dir = base + "/nami-demo-" + std::to_string(::getuid());
  }
  ::mkdir(dir.c_str(), 0700);
  ::chmod(dir.c_str(), 0700);
  return dir + "/NAMI.INI";
}

}  // namespace nami
