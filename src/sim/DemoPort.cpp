#include "sim/DemoPort.h"

#include "link/ComConfig.h"
#include <fstream>
#include <optional>

#include "sim/SimPort.h"
#include "text/Cp932.h"
#include "text/IniPath.h"

namespace nami {

std::unique_ptr<IPort> MakeDemoPort(IClock& clock, bool echo) {
  sim::STncOptions options;
  options.echo = echo;
  return std::make_unique<sim::CSimPort>(clock, sim::CMessageBase::BuiltIn(), sim::SBbsOptions{}, options);
}

void FillDemoProfile(CSettings& settings) {
  struct Default {
    const KeySpec& key;
    const char* value;
  };
  const Default defaults[] = {
      {keys::Call, demo::kCall},       {keys::Prompt, demo::kPrompt},         {keys::ReadCom, "R"},
      {keys::Field[0], "L"},           {keys::LastMailNo, demo::kLastMailNo},
  };
  for (const Default& s : defaults)
    if (settings.Raw(s.key).empty()) settings.Set(s.key, s.value);
  // The demo's port is the built-in simulator, named like any other link.
  const std::string com = ParseComConfig(settings.Get(keys::ComStatus)).device;
  const std::string device = settings.DevicePath(com);
  if (device.empty() || device.rfind("/dev/ttyS", 0) == 0) settings.SetDevicePath(com, "sim:");
}

}  // namespace nami

namespace nami {

void PrepareDemoStation(CSettings& settings) {
  settings.Set(keys::Echo, "enable");
  // Each start of the demo is on the simulator, whatever port an earlier
  // run was switched to.
  settings.SetDevicePath(ParseComConfig(settings.Get(keys::ComStatus)).device, "sim:");
  settings.SetMyCall(demo::kMyCall);
  settings.Set(keys::LastMailNo, demo::kLastMailNo);
  const std::string& ini = settings.Path();
  const std::string folder = ini.find('/') == std::string::npos ? std::string(".") : ini.substr(0, ini.rfind('/'));
  const std::string mail = folder + "/" + demo::kMailFile;
  std::ofstream out(mail, std::ios::binary | std::ios::trunc);
  out << "SP QZ2KLM\r\n"
      << Utf8ToCp932("デモのメール") << "\r\n"
      << Utf8ToCp932("nami のデモから送ったメールです。\r\n73\r\n");
  // NAMI.INI holds the path in its own encoding; a folder name it cannot
  // hold leaves the queue empty.
  const std::optional<std::string> stored = FsPathToIni(mail);
  if (out.good() && stored && settings.Raw(keys::Send[0]).empty()) settings.Set(keys::Send[0], *stored);
}

}  // namespace nami
