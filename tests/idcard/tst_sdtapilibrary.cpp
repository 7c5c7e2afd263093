#include "IdCardHelper.h"
#include "ReaderFixture.h"
#include "SdtApiLibrary.h"
#include "SharedRecords.h"

#include <QLibrary>
#include <QTemporaryDir>
#include <QTest>

class tst_SdtApiLibrary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    // A library loaded once stays known by name for the rest of the process:
    // the cases without one come first.
    void missingLibrary();
    void everyReadReportsTheReaderAbsentWithoutLibrary();
    void missingFunctions();
    void loadsFromTheGivenFolder();

private:
    QTemporaryDir emptyFolder;
};

void tst_SdtApiLibrary::initTestCase()
{
    registerSharedRecords();
    QVERIFY(emptyFolder.isValid());
    QLibrary systemCopy(QStringLiteral("SDTAPI"));
    if (systemCopy.load())
        QSKIP("A reader library is installed on this machine's library path");
}

void tst_SdtApiLibrary::loadsFromTheGivenFolder()
{
    LogCapture log;
    SdtApiLibrary library(QStringLiteral(TOLVANE_BIN_DIR));
    QVERIFY2(library.isUsable(), qPrintable(library.problem()));
    QCOMPARE(QFileInfo(library.fileName()).absolutePath(), QFileInfo(TOLVANE_BIN_DIR).absoluteFilePath());
    QCOMPARE(library.problem(), QString());
    QCOMPARE(log.linesWith("Card reader library").size(), 1);

    // The functions are the stand-in's: its built-in reader answers.
    ReaderFixture fixture;
    QVERIFY(fixture.isValid());
    QCOMPARE(library.initComm(1001), 1);
    QCOMPARE(library.authenticate(), 1);
    QCOMPARE(library.closeComm(), 1);
}

void tst_SdtApiLibrary::missingLibrary()
{
    LogCapture log;
    SdtApiLibrary library(emptyFolder.path());
    QVERIFY(!library.isUsable());
    QCOMPARE(library.fileName(), QString());
    QVERIFY2(library.problem().startsWith("SDTAPI not found"), qPrintable(library.problem()));
    const QStringList lines = log.linesWith("Card reader library");
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains("SDTAPI not found"), qPrintable(lines.first()));
    QCOMPARE(library.initComm(1001), 0);
    QCOMPARE(library.authenticate(), 0);
    int length = 0;
    QCOMPARE(library.readBaseMsgPhoto(nullptr, &length, nullptr), 0);
    QCOMPARE(library.closeComm(), 0);
}

void tst_SdtApiLibrary::missingFunctions()
{
    LogCapture log;
    SdtApiLibrary library(QStringLiteral(PARTIAL_SDTAPI_DIR));
    QVERIFY(!library.isUsable());
    QVERIFY2(
        library.problem().endsWith("lacks Authenticate, ReadBaseMsgPhoto"), qPrintable(library.problem()));
    const QStringList lines = log.linesWith("Card reader library");
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains("lacks Authenticate, ReadBaseMsgPhoto"), qPrintable(lines.first()));
    // What it has is not used either: the reader counts as absent.
    QCOMPARE(library.initComm(1001), 0);
    QCOMPARE(library.closeComm(), 0);
}

void tst_SdtApiLibrary::everyReadReportsTheReaderAbsentWithoutLibrary()
{
    // The process's own library, from a program folder without it.
    SdtApiLibrary::setProgramFolder(emptyFolder.path());
    LogCapture log;
    ReaderFixture fixture;
    QVERIFY(fixture.isValid());
    {
        IdCardHelper helper;
        QCOMPARE(log.linesWith("Card reader library").size(), 1);
        for (int i = 0; i < 2; ++i) {
            const ReaderFixture::Result page = ReaderFixture::readCard(helper);
            QCOMPARE(page.emissions, 1);
            QCOMPARE(page.type, 3);
            const ReaderFixture::Result client = ReaderFixture::readCardForClient(helper, "127.0.0.1", 5555);
            QCOMPARE(client.emissions, 1);
            QCOMPARE(client.type, 3);
            QCOMPARE(client.record.ip, QStringLiteral("127.0.0.1"));
            QCOMPARE(client.record.port, 5555);
        }
    }
    // Loaded once: a second reader object logs nothing new.
    IdCardHelper second;
    QCOMPARE(ReaderFixture::readCard(second).type, 3);
    QCOMPARE(log.linesWith("Card reader library").size(), 1);
}

QTEST_GUILESS_MAIN(tst_SdtApiLibrary)
#include "tst_sdtapilibrary.moc"
