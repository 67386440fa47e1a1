// The wait text the autopilot steps share: the BBS prompt from the profile.
#pragma once

#include <string>

#include "settings/Settings.h"

namespace nami {

// The BBS prompt that ends a wait: "prompt", or ">" when it is empty.
inline std::string WaitTextFrom(const CSettings& s) {
  std::string prompt = s.Raw(keys::Prompt);
  return prompt.empty() ? std::string(">") : prompt;
}

}  // namespace nami
