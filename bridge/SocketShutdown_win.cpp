#include "SocketShutdown.h"

#include <winsock2.h>

bool shutdownSending(qintptr descriptor)
{
    return ::shutdown(SOCKET(descriptor), SD_SEND) == 0;
}
