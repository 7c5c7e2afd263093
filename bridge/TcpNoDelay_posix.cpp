#include "TcpNoDelay.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

bool disableNagle(qintptr descriptor)
{
    const int on = 1;
    return setsockopt(int(descriptor), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}
