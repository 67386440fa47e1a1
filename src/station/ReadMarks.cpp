#include "station/ReadMarks.h"

#include "mailbox/MailStore.h"
#include "text/Cp932.h"

namespace nami {

void WireReadMarks(CSettings& settings, CMailReader& reader) {
  // A store that cannot be opened has no marks: the step reads the new
  // mail as always.
  reader.MarkedSource = [&settings] {
    std::vector<long long> marked;
    mailbox::CMailStore store(mailbox::CMailStore::PathBeside(settings.Path()));
    if (!store.Open()) store.MarkedNumbers(Cp932ToUtf8(settings.ProfileSection()), marked);
    return marked;
  };
  reader.MarkedDone = [&settings](long long number, bool /*found*/) {
    mailbox::CMailStore store(mailbox::CMailStore::PathBeside(settings.Path()));
    if (!store.Open()) store.SetMarked(Cp932ToUtf8(settings.ProfileSection()), number, false);
  };
}

}  // namespace nami
