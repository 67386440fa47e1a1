// Ready-made pieces of the automation behaviour that the application's
// target can call: they work on the document's core objects only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nami {

class CLineStore;
class CNamiDoc;

// The completed line `n` places back from the end of the store: 1 is the
// newest line, LineCount() the oldest. Any other n (0, negative, beyond the
// store) gives the empty string. The line still being received is not in
// the store, so it is never returned.
std::string AutomationGetLine(const CLineStore& lines, long long n);

// Writes `text` followed by CR with the document's one write: what the port
// does not take at once goes out paced, none of it is dropped. Nothing is
// echoed or shown. Returns the number of bytes accepted (0 when the port is
// not open).
std::size_t AutomationSendOut(CNamiDoc& doc, std::string_view text);

}  // namespace nami
