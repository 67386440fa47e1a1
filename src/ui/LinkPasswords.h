// Passwords of telnet links: the desktop's keyring (QtKeychain, service
// "nami", key the link's `[Devices]` value) first, else the file
// `link-passwords` beside NAMI.INI. Never in NAMI.INI.
#pragma once

#include <string>

#include "text/FileFault.h"

namespace nami {

// The password (CP932, as it goes onto the link); empty when none is kept.
// `fault` says why the file was not used when it exists but is refused.
std::string LinkPassword(const std::string& iniPath, const std::string& link, FileFault& fault);
// Keeps `password` (UTF-8) in the keyring. Returns the keyring's reason
// when it did not take it (then the file is the place), empty when it did.
std::string StoreLinkPassword(const std::string& link, const std::string& password);

}  // namespace nami
