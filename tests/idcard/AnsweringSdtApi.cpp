// A reader library whose functions answer with the numbers that SDTAPI_ANSWERS
// names ("InitComm,Authenticate,ReadBaseMsgPhoto", for example "1,2,1"), for the
// tests of which answers count as success. A successful read delivers one card.
#include "SdtApiCall.h"

#include <cstdlib>
#include <cstring>

namespace {

int answer(int index)
{
    const char *text = std::getenv("SDTAPI_ANSWERS");
    for (int i = 0; text && i < index; ++i) {
        text = std::strchr(text, ',');
        if (text)
            ++text;
    }
    return text ? std::atoi(text) : 0;
}

} // namespace

extern "C" {

int SDTAPI_CALL InitComm(int)
{
    return answer(0);
}

int SDTAPI_CALL Authenticate(void)
{
    return answer(1);
}

int SDTAPI_CALL ReadBaseMsgPhoto(unsigned char *message, int *length, char *)
{
    static const char card[] = "Name\0Sex\0Nation\0Birthday\0Address\0ID01\0A\0B\0C";
    std::memcpy(message, card, sizeof card);
    *length = int(sizeof card);
    return answer(2);
}

int SDTAPI_CALL CloseComm(void)
{
    return 1;
}
}
