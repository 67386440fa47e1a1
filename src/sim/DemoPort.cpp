#include "sim/DemoPort.h"

#include "link/ComConfig.h"
#include "sim/SimPort.h"

namespace nami {

std::unique_ptr<IPort> MakeDemoPort(IClock& clock) { return std::make_unique<sim::CSimPort>(clock); }

void SeedDemoProfile(CSettings& settings) {
  struct Seed {
    const KeySpec& key;
    const char* value;
  };
  const Seed seeds[] = {
      {keys::Call, demo::kCall},       {keys::Prompt, demo::kPrompt},         {keys::ReadCom, "R"},
      {keys::Field[0], "L"},           {keys::LastMailNo, demo::kLastMailNo},
  };
  for (const Seed& s : seeds)
    if (settings.Raw(s.key).empty()) settings.Set(s.key, s.value);
  // The demo's port is the built-in simulator, named like any other link.
  const std::string com = ParseComConfig(settings.Get(keys::ComStatus)).device;
  const std::string device = settings.DevicePath(com);
  if (device.empty() || device.rfind("/dev/ttyS", 0) == 0) settings.SetDevicePath(com, "sim:");
}

}  // namespace nami
