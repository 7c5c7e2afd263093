#include "SharedRecords.h"

#include <QImage>

void registerSharedRecords()
{
    qRegisterMetaType<IDCardReadData>("IDCardReadData&");
    qRegisterMetaType<QImage>("QImage&");
    qRegisterMetaType<CheckResult>("CheckResult&");
    qRegisterMetaType<FaceReadData>("FaceReadData&");
    qRegisterMetaType<MsgResult>("MsgResult&");
}
