// NAMI_MAILBOX_PROBE=1 (scripts/measure-mailbox-window): once the mailbox
// window has painted, moves through the list row by row, scrolls it page
// by page and jumps about in it, each step painted, and prints the slowest
// step, the slowest fetch of the list's model and the resident memory;
// then nami ends.
#pragma once

namespace nami {

class CMailboxWindow;

void StartMailboxProbe(CMailboxWindow& window);

}  // namespace nami
