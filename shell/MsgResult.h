#ifndef TOLVANE_MSGRESULT_H
#define TOLVANE_MSGRESULT_H

#include <QMetaType>
#include <QString>

// A message of the face collection procedure for the user.
struct MsgResult
{
    QString message;
    bool passed = false;
};

Q_DECLARE_METATYPE(MsgResult)

#endif
