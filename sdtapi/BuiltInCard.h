#ifndef SDTAPI_BUILTINCARD_H
#define SDTAPI_BUILTINCARD_H

#include <QImage>
#include <QStringList>

// The card that the simulated reader holds when nothing else is asked for: a
// fictional person, so that the program shows a card without any hardware.
namespace BuiltInCard {

// Name, sex, nation, birthday, address, ID number, issuing office, valid from, valid to.
QStringList fields();

// A drawn head-and-shoulders portrait of the card photo's size, 102 x 126.
QImage photo();

} // namespace BuiltInCard

#endif
