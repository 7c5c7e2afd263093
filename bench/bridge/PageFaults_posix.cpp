#include "PageFaults.h"

#include <sys/resource.h>

qint64 processPageFaults()
{
    rusage usage {};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return 0;
    return qint64(usage.ru_minflt) + qint64(usage.ru_majflt);
}
