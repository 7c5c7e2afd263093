#ifndef TOLVANE_SHAREDRECORDS_H
#define TOLVANE_SHAREDRECORDS_H

#include "CheckResult.h"
#include "FaceReadData.h"
#include "IDCardReadData.h"
#include "MsgResult.h"

// Makes the records known under the names that queued connections look up for
// non-const reference parameters ("IDCardReadData&", "QImage&", ...).
// Safe to call more than once and from any thread.
void registerSharedRecords();

#endif
