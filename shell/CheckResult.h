#ifndef TOLVANE_CHECKRESULT_H
#define TOLVANE_CHECKRESULT_H

#include <QMetaType>

// Verdict of one face-quality evaluation: at most one flag is set.
struct CheckResult
{
    bool tooBright = false;
    bool tooDark = false;
    bool blurry = false;
    bool chinCovered = false;
    bool noseCovered = false;
    bool mouthCovered = false;
    bool leftCheekCovered = false;
    bool rightCheekCovered = false;
    bool faceTooBig = false;
    bool faceTooSmall = false;
    bool glasses = false;
    bool moveRight = false;
    bool moveLeft = false;
    bool topTooFar = false;
    bool topTooNear = false;
    bool tooClose = false;
    bool leftEyeCovered = false;
    bool rightEyeCovered = false;
    bool angleTooLarge = false;
    bool passed = false;
    bool noFace = false;
    bool tooManyFailures = false;

    void clear() { *this = CheckResult(); }
};

Q_DECLARE_METATYPE(CheckResult)

#endif
