#include "PageFaults.h"

#include <windows.h>

#include <psapi.h>

qint64 processPageFaults()
{
    PROCESS_MEMORY_COUNTERS counters {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return qint64(counters.PageFaultCount);
}
