#include "TcpNoDelay.h"

#include <winsock2.h>
#include <ws2tcpip.h>

bool disableNagle(qintptr descriptor)
{
    const BOOL on = TRUE;
    return setsockopt(SOCKET(descriptor), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on),
                      sizeof on)
        == 0;
}
