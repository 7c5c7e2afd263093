#include "IdCardHelper.h"
#include "ReaderFixture.h"
#include "SdtApiLibrary.h"
#include "SharedRecords.h"

#include <QTest>

// Which answers of the reader library count as success: any non-zero one for the
// page's reads, only 1 for a client's.
class tst_ReaderAnswers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void answers_data();
    void answers();
};

void tst_ReaderAnswers::initTestCase()
{
    registerSharedRecords();
    SdtApiLibrary::setProgramFolder(QStringLiteral(ANSWERING_SDTAPI_DIR));
    QVERIFY2(SdtApiLibrary::instance().isUsable(), qPrintable(SdtApiLibrary::instance().problem()));
}

void tst_ReaderAnswers::answers_data()
{
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<int>("pageType");
    QTest::addColumn<int>("clientType");

    QTest::newRow("all 1") << QByteArray("1,1,1") << 1 << 1;
    QTest::newRow("InitComm 2") << QByteArray("2,1,1") << 1 << 3;
    QTest::newRow("InitComm -1") << QByteArray("-1,1,1") << 1 << 3;
    QTest::newRow("InitComm 0") << QByteArray("0,1,1") << 3 << 3;
    QTest::newRow("Authenticate 2") << QByteArray("1,2,1") << 1 << 2;
    QTest::newRow("Authenticate 0") << QByteArray("1,0,1") << 2 << 2;
    QTest::newRow("ReadBaseMsgPhoto 2") << QByteArray("1,1,2") << 1 << 2;
    QTest::newRow("ReadBaseMsgPhoto 0") << QByteArray("1,1,0") << 2 << 2;
    QTest::newRow("all 144") << QByteArray("144,144,144") << 1 << 3;
}

void tst_ReaderAnswers::answers()
{
    QFETCH(QByteArray, answers);
    QFETCH(int, pageType);
    QFETCH(int, clientType);

    ReaderFixture fixture;
    QVERIFY(fixture.isValid());
    qputenv("SDTAPI_ANSWERS", answers);
    IdCardHelper helper;

    const ReaderFixture::Result page = ReaderFixture::readCard(helper);
    QCOMPARE(page.emissions, 1);
    QCOMPARE(page.type, pageType);
    QCOMPARE(page.record.idCard, pageType == 1 ? QStringLiteral("ID01") : QString());

    const ReaderFixture::Result client = ReaderFixture::readCardForClient(helper, "127.0.0.1", 8);
    QCOMPARE(client.emissions, 1);
    QCOMPARE(client.type, clientType);
    QCOMPARE(client.record.idCard, clientType == 1 ? QStringLiteral("ID01") : QString());
    QCOMPARE(client.record.port, 8);
}

QTEST_GUILESS_MAIN(tst_ReaderAnswers)
#include "tst_readeranswers.moc"
