#ifndef TOLVANE_TCPNODELAY_H
#define TOLVANE_TCPNODELAY_H

#include <QtGlobal>

// Switches Nagle's algorithm off on a native socket. Set on a listening socket,
// the connections it accepts inherit the option. Returns false on failure.
bool disableNagle(qintptr descriptor);

#endif
