#include "SocketShutdown.h"

#include <sys/socket.h>

bool shutdownSending(qintptr descriptor)
{
    return ::shutdown(int(descriptor), SHUT_WR) == 0;
}
