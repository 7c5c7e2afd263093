#ifndef TOLVANE_PROGRAMDIRECTORY_H
#define TOLVANE_PROGRAMDIRECTORY_H

#include <QString>

// Folder of the running executable, without a trailing separator. Unlike
// QCoreApplication::applicationDirPath() it works before the application object
// exists, which the run log needs for the messages of start-up.
QString programDirectory();

#endif
