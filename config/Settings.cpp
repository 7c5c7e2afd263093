#include "Settings.h"

#include <QCoreApplication>
#include <QDebug>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>

#include <cmath>

SettingValue<QString> fileUrl;
SettingValue<QString> checkUrl;
SettingValue<QString> authUrl;
SettingValue<QString> validUrl;
SettingValue<QString> accessKeyValue;
SettingValue<QString> accessSecretValue;

SettingValue<int> collectTimer;
SettingValue<int> verifyType;
SettingValue<int> videoIndex;
SettingValue<int> extraPort;

SettingValue<double> occlusionMax;
SettingValue<double> illuminationMin;
SettingValue<double> illuminationMax;
SettingValue<double> blurMax;
SettingValue<double> widthMin;
SettingValue<double> widthMax;
SettingValue<double> heightMin;
SettingValue<double> heightMax;
SettingValue<double> leftMin;
SettingValue<double> leftMax;
SettingValue<double> topMin;
SettingValue<double> topMax;
SettingValue<double> rotationMin;
SettingValue<double> rotationMax;

namespace {

SettingValue<QString> chosenSettingsFile;

const char *const codecName = "UTF-8";

int settingInt(const QVariant &value)
{
    // QVariant::toInt leaves 0 for text that is not an integer.
    return value.toInt();
}

QVariant valueOr(const QHash<QString, QVariant> &table, const QString &key, const QVariant &fallback)
{
    const auto found = table.constFind(key);
    return found == table.constEnd() ? fallback : found.value();
}

} // namespace

namespace SettingsDefaults {
QString fileUrl()
{
    return QStringLiteral("http://127.0.0.1/pravon/iccardURLTotal/facesetting.json");
}
QString alternativeFileUrl()
{
    return QStringLiteral("http://127.0.0.1/pravonx/iccardURLTotal/facesetting.json");
}
QString checkUrl()
{
    return QStringLiteral("http://127.0.0.1:7001/dunmere/faceCheck/baiduFaceCheck");
}
QString authUrl()
{
    return QStringLiteral("https://127.0.0.1/auth");
}
QString validUrl()
{
    return QStringLiteral("https://127.0.0.1/valid/detect");
}
QString accessKeyValue()
{
    return QStringLiteral("A7D2E90B3F6C4815B0E9D27C6A1F3E84");
}
QString accessSecretValue()
{
    return QStringLiteral("6E0C93A5D1B74F28E3C05B9A7D62F1C0");
}
} // namespace SettingsDefaults

QString settingsFilePath()
{
    const QString chosen = chosenSettingsFile.get();
    if (!chosen.isEmpty())
        return chosen;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Setup.ini");
}

void setSettingsFilePath(const QString &path)
{
    chosenSettingsFile.set(path);
}

QString settingText(const QVariant &value)
{
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

SettingRange parseSettingRange(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('|'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    auto number = [&parts](int index) {
        bool ok = false;
        const double value = parts.value(index).toDouble(&ok);
        // "nan" and "inf" parse as doubles, but no threshold can compare with them.
        return ok && std::isfinite(value) ? value : 0.0;
    };
    return {number(0), number(1)};
}

const FaceRangeSetting faceRangeSettings[8] = {
    {"facecount", "0.1|0.2", nullptr, &occlusionMax},
    {"illumination", "80|300", &illuminationMin, &illuminationMax},
    {"blur", "0.1|0.3", nullptr, &blurMax},
    {"width", "180|300", &widthMin, &widthMax},
    {"height", "180|300", &heightMin, &heightMax},
    {"left", "200|300", &leftMin, &leftMax},
    {"top", "160|300", &topMin, &topMax},
    {"rotation", "-5|5", &rotationMin, &rotationMax},
};

void applyFaceRange(const FaceRangeSetting &setting, const QString &text)
{
    const SettingRange range = parseSettingRange(text);
    if (setting.min)
        setting.min->set(range.first);
    setting.max->set(range.second);
}

void readSettingsGroup(QHash<QString, QVariant> &table, const QString &group, const QString &pattern)
{
    QRegularExpression matcher(pattern);
    if (!pattern.isEmpty() && !matcher.isValid()) {
        qWarning() << "Setup.ini: key pattern" << pattern
                   << "is not a valid regular expression:" << matcher.errorString();
        return;
    }
    QSettings settings(settingsFilePath(), QSettings::IniFormat);
    settings.setIniCodec(codecName);
    settings.beginGroup(group);
    const QStringList keys = settings.childKeys();
    for (const QString &key : keys) {
        if (pattern.isEmpty() || matcher.match(key).hasMatch())
            table.insert(key, settings.value(key));
    }
    settings.endGroup();
}

void loadSettings()
{
    QHash<QString, QVariant> table;
    readSettingsGroup(table, QStringLiteral("base"), QString());
    readSettingsGroup(table, QStringLiteral("face"), QString());

    auto text = [&table](const char *key, const QString &fallback) {
        return settingText(valueOr(table, QLatin1String(key), fallback));
    };
    auto integer = [&table](const char *key, int fallback) {
        return settingInt(valueOr(table, QLatin1String(key), fallback));
    };

    fileUrl.set(text("fileUrl", SettingsDefaults::fileUrl()));
    checkUrl.set(text("checkUrl", SettingsDefaults::checkUrl()));
    for (const FaceRangeSetting &setting : faceRangeSettings)
        applyFaceRange(setting, text(setting.key, QLatin1String(setting.fallback)));

    collectTimer.set(integer("collectTimer", SettingsDefaults::collectTimer));
    verifyType.set(integer("verifyType", SettingsDefaults::verifyType));
    authUrl.set(text("authUrl", SettingsDefaults::authUrl()));
    validUrl.set(text("validUrl", SettingsDefaults::validUrl()));
    accessKeyValue.set(text("accessKeyValue", SettingsDefaults::accessKeyValue()));
    accessSecretValue.set(text("accessSecretValue", SettingsDefaults::accessSecretValue()));
    videoIndex.set(integer("videoIndex", SettingsDefaults::videoIndex));

    int port = integer("extraPort", SettingsDefaults::extraPort);
    if (port < 0 || port > 65535) {
        qWarning() << "Setup.ini: extraPort" << port << "is no TCP port; no second port is served";
        port = 0;
    }
    extraPort.set(port);
}

void writeSetting(const QString &key, const QString &group, const QVariant &value)
{
    QSettings settings(settingsFilePath(), QSettings::IniFormat);
    settings.setIniCodec(codecName);
    settings.beginGroup(group);
    settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qWarning() << "Setup.ini: could not write" << group + QLatin1Char('/') + key << "to"
                   << settings.fileName();
}
