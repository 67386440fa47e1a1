// Passwords of telnet links: the desktop's keyring (QtKeychain, service
// "nami", key the link's `[Devices]` value) first, else the file
// `link-passwords` beside NAMI.INI. Never in NAMI.INI.
#pragma once

#include <string>

namespace nami {

// The password (CP932, as it goes onto the link); empty when none is kept.
// `why` says why the file was not used when it exists but is refused.
std::string LinkPassword(const std::string& iniPath, const std::string& link, std::string& why);
// Keeps `password` (UTF-8) in the keyring; false with `error` when no keyring
// answers (then the file is the place).
bool StoreLinkPassword(const std::string& link, const std::string& password, std::string& error);

}  // namespace nami
