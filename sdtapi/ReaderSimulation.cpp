#include "ReaderSimulation.h"

#include "BuiltInCard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <climits>
#include <cstdio>

namespace {

// A reader takes its time, but a typing error in a test file must not hang it.
constexpr int maxDelayMs = 60000;

void printLine(const QString &text)
{
    const QByteArray line = QStringLiteral("SDTAPI: %1\n").arg(text).toLocal8Bit();
    std::fputs(line.constData(), stderr);
    std::fflush(stderr);
}

bool readChoice(
    const QJsonObject &object, const char *key, const QStringList &choices, int *index, QString *error)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        return true;
    const int found = value.isString() ? choices.indexOf(value.toString()) : -1;
    if (found < 0) {
        *error = QStringLiteral("\"%1\" must be one of \"%2\"")
                     .arg(QLatin1String(key), choices.join(QStringLiteral("\", \"")));
        return false;
    }
    *index = found;
    return true;
}

} // namespace

ReaderSimulation ReaderSimulation::load()
{
    ReaderSimulation simulation;
    simulation.fields = BuiltInCard::fields();
    const QString path = QString::fromLocal8Bit(qgetenv("SDTAPI_SIM"));
    if (path.isEmpty())
        return simulation;
    QString error;
    if (!simulation.parse(path, &error)) {
        printLine(QStringLiteral("reader simulation file %1 unusable, reader absent: %2").arg(path, error));
        ReaderSimulation absent;
        absent.readerOk = false;
        return absent;
    }
    return simulation;
}

bool ReaderSimulation::parse(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = parseError.errorString();
        return false;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("not a JSON object");
        return false;
    }
    const QJsonObject object = document.object();

    int reader = 0;
    int card = 0;
    if (!readChoice(object, "reader", {QStringLiteral("ok"), QStringLiteral("absent")}, &reader, error)
        || !readChoice(object, "card",
            {QStringLiteral("present"), QStringLiteral("absent"), QStringLiteral("unreadable")}, &card,
            error))
        return false;
    readerOk = reader == 0;
    cardState = static_cast<Card>(card);

    const QJsonValue fieldsValue = object.value(QLatin1String("fields"));
    if (!fieldsValue.isUndefined()) {
        if (!fieldsValue.isArray()) {
            *error = QStringLiteral("\"fields\" must be an array of strings");
            return false;
        }
        fields.clear();
        for (const QJsonValue &item : fieldsValue.toArray()) {
            if (!item.isString()) {
                *error = QStringLiteral("\"fields\" must be an array of strings");
                return false;
            }
            fields.append(item.toString());
        }
    }

    const QJsonValue photoValue = object.value(QLatin1String("photo"));
    if (!photoValue.isUndefined()) {
        if (!photoValue.isString()) {
            *error = QStringLiteral("\"photo\" must be a string");
            return false;
        }
        builtInPhoto = false;
        // A relative photo path is taken from the simulation file's folder.
        const QString photo = photoValue.toString();
        if (!photo.isEmpty())
            photoPath = QFileInfo(path).dir().absoluteFilePath(photo);
    }

    const QJsonValue delayValue = object.value(QLatin1String("delayMs"));
    if (!delayValue.isUndefined()) {
        if (!delayValue.isDouble()) {
            *error = QStringLiteral("\"delayMs\" must be a number");
            return false;
        }
        delay = int(qBound(0.0, delayValue.toDouble(), double(maxDelayMs)));
    }

    const QJsonValue lengthValue = object.value(QLatin1String("reportLength"));
    if (!lengthValue.isUndefined() && !lengthValue.isNull()) {
        if (!lengthValue.isDouble()) {
            *error = QStringLiteral("\"reportLength\" must be a number or null");
            return false;
        }
        hasReportLength = true;
        reportLength = int(qBound(double(INT_MIN), lengthValue.toDouble(), double(INT_MAX)));
    }

    const QJsonValue traceValue = object.value(QLatin1String("trace"));
    if (!traceValue.isUndefined()) {
        if (!traceValue.isString()) {
            *error = QStringLiteral("\"trace\" must be a string");
            return false;
        }
        tracePath = traceValue.toString();
    }
    return true;
}

QByteArray ReaderSimulation::message() const
{
    QByteArray bytes;
    for (const QString &field : fields) {
        bytes += field.toLocal8Bit();
        bytes += '\0';
    }
    return bytes.left(maxMessageSize);
}

int ReaderSimulation::reportedLength(int trueLength) const
{
    return hasReportLength ? reportLength : trueLength;
}

QImage ReaderSimulation::photo() const
{
    if (builtInPhoto)
        return BuiltInCard::photo();
    if (photoPath.isEmpty())
        return QImage();
    QImageReader reader(photoPath);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull())
        printLine(QStringLiteral("card photo %1 unreadable: %2").arg(photoPath, reader.errorString()));
    return image;
}

void ReaderSimulation::trace(const QString &line) const
{
    if (tracePath.isEmpty())
        return;
    QFile file(tracePath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(line.toUtf8() + '\n');
}
