#ifndef TOLVANE_BENCH_PAGEFAULTS_H
#define TOLVANE_BENCH_PAGEFAULTS_H

#include <QtGlobal>

// Page faults of this process so far (minor ones included): a heap that gives
// memory back to the system and takes it again shows up here.
qint64 processPageFaults();

#endif
