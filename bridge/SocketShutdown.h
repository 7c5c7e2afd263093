#ifndef TOLVANE_SOCKETSHUTDOWN_H
#define TOLVANE_SOCKETSHUTDOWN_H

#include <QtGlobal>

// Ends the sending direction of a connected native socket (sends FIN) while
// it stays open for reading. Returns false on failure.
bool shutdownSending(qintptr descriptor);

#endif
