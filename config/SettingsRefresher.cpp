#include "SettingsRefresher.h"

#include "HttpClient.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <chrono>

namespace {

void applyFace(const QJsonObject &face)
{
    // A member that is missing or not a string counts as empty text: both of its
    // thresholds become 0 and an empty entry is written.
    auto text = [&face](const char *key) { return face.value(QLatin1String(key)).toString(); };
    for (const FaceRangeSetting &setting : faceRangeSettings)
        applyFaceRange(setting, text(setting.key));
    for (const FaceRangeSetting &setting : faceRangeSettings)
        writeSetting(QLatin1String(setting.key), QStringLiteral("face"), text(setting.key));
}

void applyBase(const QJsonObject &base)
{
    // Only JSON numbers holding an integer count; anything else gives 2.
    const int timer = base.value(QLatin1String("collectTimer")).toInt(2);
    const int verify = base.value(QLatin1String("verifyType")).toInt(2);
    auto text = [&base](const char *key, const QString &fallback) {
        return base.value(QLatin1String(key)).toString(fallback);
    };
    const QString check = text("checkUrl", SettingsDefaults::checkUrl());
    const QString key = text("accessKeyValue", SettingsDefaults::accessKeyValue());
    const QString secret = text("accessSecretValue", SettingsDefaults::accessSecretValue());
    const QString auth = text("authUrl", SettingsDefaults::authUrl());
    const QString valid = text("validUrl", SettingsDefaults::validUrl());
    const QString file = text("fileUrl", SettingsDefaults::alternativeFileUrl());

    collectTimer.set(timer);
    verifyType.set(verify);
    checkUrl.set(check);
    accessKeyValue.set(key);
    accessSecretValue.set(secret);
    authUrl.set(auth);
    validUrl.set(valid);
    fileUrl.set(file);

    const QString group = QStringLiteral("base");
    writeSetting(QStringLiteral("collectTimer"), group, timer);
    writeSetting(QStringLiteral("verifyType"), group, verify);
    writeSetting(QStringLiteral("checkUrl"), group, check);
    writeSetting(QStringLiteral("authUrl"), group, auth);
    writeSetting(QStringLiteral("validUrl"), group, valid);
    writeSetting(QStringLiteral("accessKeyValue"), group, key);
    writeSetting(QStringLiteral("accessSecretValue"), group, secret);
    writeSetting(QStringLiteral("fileUrl"), group, file);
}

} // namespace

SettingsRefresher::SettingsRefresher(int periodMs)
    : periodMs(periodMs)
{
}

SettingsRefresher::~SettingsRefresher()
{
    stop();
}

void SettingsRefresher::start()
{
    if (worker.joinable())
        return;
    {
        std::lock_guard<std::mutex> locker(stateMutex);
        stopRequested = false;
    }
    worker = std::thread(&SettingsRefresher::run, this);
}

void SettingsRefresher::stop()
{
    if (!worker.joinable())
        return;
    {
        // Set under the lock the thread waits with, so the wake cannot slip in
        // between its check and its wait.
        std::lock_guard<std::mutex> locker(stateMutex);
        stopRequested = true;
    }
    wake.notify_all();
    worker.join();
}

bool SettingsRefresher::applyDocument(const QByteArray &document)
{
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(document, &error);
    if (error.error != QJsonParseError::NoError || !parsed.isObject())
        return false;
    const QJsonObject root = parsed.object();

    const QJsonValue face = root.value(QLatin1String("face"));
    const QJsonValue base = root.value(QLatin1String("base"));
    // A member of the wrong kind would otherwise read as an empty object and
    // zero every threshold or reset every address.
    if ((!face.isUndefined() && !face.isObject()) || (!base.isUndefined() && !base.isObject())) {
        qWarning() << "facesetting.json refused: \"face\" and \"base\" must be JSON objects";
        return false;
    }
    if (face.isObject())
        applyFace(face.toObject());
    if (base.isObject())
        applyBase(base.toObject());
    return true;
}

void SettingsRefresher::run()
{
    {
        HttpClient client;
        std::unique_lock<std::mutex> locker(stateMutex);
        while (!stopRequested) {
            locker.unlock();
            QByteArray body;
            // Only a finished download counts: an error page or a timed-out
            // request never changes a setting.
            if (client.get(fileUrl.get(), &body, downloadTimeoutMs) == 0)
                applyDocument(body);
            ++cycles;
            locker.lock();
            wake.wait_for(locker, std::chrono::milliseconds(periodMs), [this] { return stopRequested; });
        }
    }
    // What the network classes released with deleteLater() waits on this thread,
    // which runs no event loop of its own.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
