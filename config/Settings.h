#ifndef TOLVANE_SETTINGS_H
#define TOLVANE_SETTINGS_H

#include "SettingValue.h"

#include <QHash>
#include <QString>
#include <QVariant>

// The program's settings, kept in "Setup.ini" (INI, UTF-8, groups "base" and
// "face") in the program's own folder. Every value below is process-wide, empty
// or zero until loadSettings() runs, and safe to read from any thread with
// get(); only loadSettings() and the settings refresher set() them.

// [base] texts.
extern SettingValue<QString> fileUrl; // the face settings document on the settings server
extern SettingValue<QString> checkUrl; // the face-check server
extern SettingValue<QString> authUrl; // face validation service: authentication
extern SettingValue<QString> validUrl; // face validation service: detection
extern SettingValue<QString> accessKeyValue;
extern SettingValue<QString> accessSecretValue;

// [base] integers.
extern SettingValue<int> collectTimer; // seconds between two collection attempts
extern SettingValue<int> verifyType;
extern SettingValue<int> videoIndex; // camera index
extern SettingValue<int> extraPort; // second port of the browser bridge, 0 for none

// [face] thresholds, each range stored in the file as "first|second".
extern SettingValue<double> occlusionMax; // facecount, second number
extern SettingValue<double> illuminationMin;
extern SettingValue<double> illuminationMax;
extern SettingValue<double> blurMax; // blur, second number
extern SettingValue<double> widthMin;
extern SettingValue<double> widthMax;
extern SettingValue<double> heightMin;
extern SettingValue<double> heightMax;
extern SettingValue<double> leftMin;
extern SettingValue<double> leftMax;
extern SettingValue<double> topMin;
extern SettingValue<double> topMax;
extern SettingValue<double> rotationMin;
extern SettingValue<double> rotationMax;

namespace SettingsDefaults {
// A deployment names its servers in Setup.ini; without one nothing leaves this machine.
QString fileUrl();
// Where the refresher looks next when a downloaded "base" names no fileUrl.
QString alternativeFileUrl();
QString checkUrl();
QString authUrl();
QString validUrl();
QString accessKeyValue();
QString accessSecretValue();
constexpr int collectTimer = 1;
constexpr int verifyType = 1;
constexpr int videoIndex = 0;
constexpr int extraPort = 10081;
} // namespace SettingsDefaults

// Fills every value above from the file; a missing file, group or key leaves the
// built-in default. A key found under [face] wins over the same key under [base].
void loadSettings();

// Adds each key of `group` whose name contains a match of the regular expression
// `pattern` (case-sensitive; empty selects every key) to `table`, replacing an
// entry of the same name. An invalid pattern is refused with a warning.
void readSettingsGroup(QHash<QString, QVariant> &table, const QString &group, const QString &pattern);

// Rewrites the file with one value set; the other keys, known or not, stay.
// Writes the same file that loadSettings() reads.
void writeSetting(const QString &key, const QString &group, const QVariant &value);

// "<program folder>/Setup.ini", unless another file was chosen below.
QString settingsFilePath();
// Points loader and writer at another file (tests, tools); empty restores the default.
void setSettingsFilePath(const QString &path);

// "first|second" as two numbers: a missing part or one that is not a finite
// number counts as 0.
struct SettingRange
{
    double first = 0.0;
    double second = 0.0;
};
SettingRange parseSettingRange(const QString &text);

// One "[face]" key holding a range, with the values it sets: `min` is null for
// the keys whose first number is ignored (facecount, blur).
struct FaceRangeSetting
{
    const char *key;
    const char *fallback; // the built-in default, as it stands in the file
    SettingValue<double> *min;
    SettingValue<double> *max;
};
// The eight of them, in the file's key order.
extern const FaceRangeSetting faceRangeSettings[8];

// Sets a range's values from its "first|second" text.
void applyFaceRange(const FaceRangeSetting &setting, const QString &text);

// A stored value as text. QSettings hands back an unquoted value holding commas
// as a list; its parts are joined again.
QString settingText(const QVariant &value);

#endif
