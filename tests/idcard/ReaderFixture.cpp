#include "ReaderFixture.h"

#include "IdCardHelper.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

ReaderFixture::ReaderFixture(const QString &workDirName, bool withPhotoFolder)
    : work(dir.path() + QLatin1Char('/') + workDirName)
    , previousDir(QDir::currentPath())
{
    if (!dir.isValid() || !QDir().mkpath(work))
        return;
    if (withPhotoFolder && !QDir().mkpath(photoFolder()))
        return;
    valid = QDir::setCurrent(work);
    qunsetenv("SDTAPI_SIM");
}

ReaderFixture::~ReaderFixture()
{
    qunsetenv("SDTAPI_SIM");
    QDir::setCurrent(previousDir);
}

QString ReaderFixture::photoPath(const QString &idNumber) const
{
    return photoFolder() + QLatin1Char('/') + idNumber + QStringLiteral(".jpg");
}

void ReaderFixture::setReader(QJsonObject simulation)
{
    if (!simulation.contains(QLatin1String("trace")))
        simulation.insert(QStringLiteral("trace"), tracePath());
    setReaderFileText(QJsonDocument(simulation).toJson());
}

void ReaderFixture::setReaderFileText(const QByteArray &text)
{
    const QString path = dir.path() + QStringLiteral("/reader.json");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text);
    qputenv("SDTAPI_SIM", path.toLocal8Bit());
}

QStringList ReaderFixture::trace() const
{
    QFile file(tracePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString ReaderFixture::writeImage(const QString &fileName, const QSize &size, const QColor &colour) const
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = dir.path() + QLatin1Char('/') + fileName;
    image.save(path);
    return path;
}

QStringList ReaderFixture::jpegFiles() const
{
    QStringList found;
    QDirIterator it(dir.path(), {QStringLiteral("*.jpg")}, QDir::Files | QDir::Hidden | QDir::System,
        QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    found.sort();
    return found;
}

QJsonObject ReaderFixture::card(const QStringList &fields, const QString &photo)
{
    return QJsonObject {
        {QStringLiteral("fields"), QJsonArray::fromStringList(fields)}, {QStringLiteral("photo"), photo}};
}

QStringList ReaderFixture::standardFields()
{
    return {QStringLiteral("李四"), QStringLiteral("女"), QStringLiteral("汉"), QStringLiteral("19851203"),
        QStringLiteral("测试省测试市幸福街8号"), QStringLiteral("99000019851203002X"),
        QStringLiteral("测试市公安局"), QStringLiteral("20160301"), QStringLiteral("20360301")};
}

namespace {

ReaderFixture::Result resultOf(const QSignalSpy &spy)
{
    ReaderFixture::Result result;
    result.emissions = spy.count();
    if (!spy.isEmpty()) {
        result.type = spy.at(0).at(0).toInt();
        result.record = qvariant_cast<IDCardReadData>(spy.at(0).at(1));
    }
    return result;
}

} // namespace

ReaderFixture::Result ReaderFixture::readCard(IdCardHelper &helper)
{
    QSignalSpy spy(&helper, &IdCardHelper::show_message);
    helper.readCard();
    return resultOf(spy);
}

ReaderFixture::Result ReaderFixture::readCardForClient(IdCardHelper &helper, const QString &ip, uint port)
{
    QSignalSpy spy(&helper, &IdCardHelper::show_message);
    helper.readCardForClient(ip, port);
    return resultOf(spy);
}
