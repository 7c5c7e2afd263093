#include "IdCardHelper.h"
#include "ReaderFixture.h"
#include "SdtApiLibrary.h"
#include "SharedRecords.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTest>

namespace {

const QString idNumber = QStringLiteral("99000019851203002X");

QStringList cardFields(const QString &id = idNumber)
{
    QStringList fields = ReaderFixture::standardFields();
    fields[5] = id;
    return fields;
}

// The colour in the middle of a JPEG file, which keeps flat colours close.
QColor middleColour(const QString &path)
{
    const QImage image(path);
    if (image.isNull())
        return QColor();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) < 24 && qAbs(a.green() - b.green()) < 24 && qAbs(a.blue() - b.blue()) < 24;
}

} // namespace

class tst_CardPhoto : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fitsInsideKeepingAspectRatio_data();
    void fitsInsideKeepingAspectRatio();
    void clientReadKeepsExistingPhotoPageReadReplacesIt();
    void noPhotoStillReadsTheCard_data();
    void noPhotoStillReadsTheCard();
    void earlierCardPhotoNeverSentForTheNext();
};

void tst_CardPhoto::initTestCase()
{
    registerSharedRecords();
    SdtApiLibrary::setProgramFolder(QStringLiteral(TOLVANE_BIN_DIR));
    QVERIFY2(SdtApiLibrary::instance().isUsable(), qPrintable(SdtApiLibrary::instance().problem()));
}

void tst_CardPhoto::fitsInsideKeepingAspectRatio_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("card size") << QSize(102, 126) << "photo.png" << QSize(102, 126);
    QTest::newRow("wide") << QSize(300, 200) << "photo.png" << QSize(102, 68);
    QTest::newRow("tall") << QSize(200, 600) << "photo.jpg" << QSize(42, 126);
    QTest::newRow("small, scaled up") << QSize(51, 63) << "photo.png" << QSize(102, 126);
    QTest::newRow("a line") << QSize(1000, 10) << "photo.png" << QSize(102, 1);
    QTest::newRow("large") << QSize(2040, 2520) << "photo.jpg" << QSize(102, 126);
}

void tst_CardPhoto::fitsInsideKeepingAspectRatio()
{
    QFETCH(QSize, source);
    QFETCH(QString, fileName);
    QFETCH(QSize, expected);

    ReaderFixture fixture;
    QVERIFY(fixture.isValid());
    fixture.setReader(ReaderFixture::card(cardFields(), fixture.writeImage(fileName, source, Qt::red)));
    IdCardHelper helper;
    QCOMPARE(ReaderFixture::readCard(helper).type, 1);

    QImageReader photo(fixture.photoPath(idNumber));
    QCOMPARE(photo.format(), QByteArray("jpeg"));
    QCOMPARE(photo.size(), expected);
    QVERIFY(near(middleColour(fixture.photoPath(idNumber)), Qt::red));
}

void tst_CardPhoto::clientReadKeepsExistingPhotoPageReadReplacesIt()
{
    ReaderFixture fixture;
    QVERIFY(fixture.isValid());
    const QString red = fixture.writeImage("red.png", QSize(102, 126), Qt::red);
    const QString blue = fixture.writeImage("blue.png", QSize(102, 126), Qt::blue);
    const QString jpeg = fixture.photoPath(idNumber);
    IdCardHelper helper;

    fixture.setReader(ReaderFixture::card(cardFields(), red));
    QCOMPARE(ReaderFixture::readCardForClient(helper, "127.0.0.1", 7).type, 1);
    QVERIFY(near(middleColour(jpeg), Qt::red));

    fixture.setReader(ReaderFixture::card(cardFields(), blue));
    QCOMPARE(ReaderFixture::readCardForClient(helper, "127.0.0.1", 7).type, 1);
    QVERIFY(near(middleColour(jpeg), Qt::red));

    QCOMPARE(ReaderFixture::readCard(helper).type, 1);
    QVERIFY(near(middleColour(jpeg), Qt::blue));

    fixture.setReader(ReaderFixture::card(cardFields(), red));
    QCOMPARE(ReaderFixture::readCardForClient(helper, "127.0.0.1", 7).type, 1);
    QVERIFY(near(middleColour(jpeg), Qt::blue));
}

void tst_CardPhoto::noPhotoStillReadsTheCard_data()
{
    QTest::addColumn<QString>("photo");
    QTest::addColumn<bool>("withPhotoFolder");

    QTest::newRow("card without a photo") << "" << true;
    QTest::newRow("photo the reader cannot convert") << "not-an-image.png" << true;
    QTest::newRow("no cardphoto folder") << "card.png" << false;
}

void tst_CardPhoto::noPhotoStillReadsTheCard()
{
    QFETCH(QString, photo);
    QFETCH(bool, withPhotoFolder);

    ReaderFixture fixture(QStringLiteral("work"), withPhotoFolder);
    QVERIFY(fixture.isValid());
    fixture.writeImage("card.png", QSize(102, 126), Qt::red);
    QFile notAnImage(fixture.root() + "/not-an-image.png");
    QVERIFY(notAnImage.open(QIODevice::WriteOnly));
    notAnImage.write("this is text");
    notAnImage.close();
    fixture.setReader(ReaderFixture::card(cardFields(), photo));

    IdCardHelper helper;
    for (const bool forClient : {true, false}) {
        const ReaderFixture::Result result = forClient
            ? ReaderFixture::readCardForClient(helper, "127.0.0.1", 9)
            : ReaderFixture::readCard(helper);
        QCOMPARE(result.emissions, 1);
        QCOMPARE(result.type, 1);
        QCOMPARE(result.record.idCard, idNumber);
    }
    QCOMPARE(fixture.jpegFiles(), QStringList());
    QCOMPARE(QFileInfo::exists(fixture.photoFolder()), withPhotoFolder);
}

void tst_CardPhoto::earlierCardPhotoNeverSentForTheNext()
{
    ReaderFixture fixture;
    QVERIFY(fixture.isValid());
    const QString red = fixture.writeImage("red.png", QSize(102, 126), Qt::red);
    IdCardHelper helper;

    // A photo.bmp left behind, by an earlier run for example.
    QVERIFY(QImage(red).save(fixture.photoFolder() + "/photo.bmp", "BMP"));
    fixture.setReader(ReaderFixture::card(cardFields("990000200001010011"), ""));
    QCOMPARE(ReaderFixture::readCardForClient(helper, "127.0.0.1", 3).type, 1);
    QVERIFY(!QFileInfo::exists(fixture.photoPath("990000200001010011")));

    // The first card's photo, then a second card that brings none.
    fixture.setReader(ReaderFixture::card(cardFields(), red));
    QCOMPARE(ReaderFixture::readCardForClient(helper, "127.0.0.1", 3).type, 1);
    QVERIFY(QFileInfo::exists(fixture.photoPath(idNumber)));
    fixture.setReader(ReaderFixture::card(cardFields("990000199902020022"), ""));
    QCOMPARE(ReaderFixture::readCardForClient(helper, "127.0.0.1", 3).type, 1);
    QCOMPARE(ReaderFixture::readCard(helper).type, 1);
    QCOMPARE(fixture.jpegFiles(), QStringList {fixture.photoPath(idNumber)});
}

QTEST_GUILESS_MAIN(tst_CardPhoto)
#include "tst_cardphoto.moc"
