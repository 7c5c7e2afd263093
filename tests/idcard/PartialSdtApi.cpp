// A reader library that lacks two of the four functions, for the loader's tests.
#include "SdtApiCall.h"

extern "C" {

int SDTAPI_CALL InitComm(int)
{
    return 1;
}

int SDTAPI_CALL CloseComm(void)
{
    return 1;
}
}
