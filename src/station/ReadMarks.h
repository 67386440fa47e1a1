// The mailbox's read marks handed to the run: the read step asks the store
// (mailbox.sqlite beside NAMI.INI) for the profile's marked numbers and
// unmarks each once its answer is in.
#pragma once

#include "autopilot/MailReader.h"
#include "settings/Settings.h"

namespace nami {

void WireReadMarks(CSettings& settings, CMailReader& reader);

}  // namespace nami
