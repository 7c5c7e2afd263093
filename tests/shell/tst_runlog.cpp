#include "RunLog.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <thread>

namespace {

// Lines of the run log that carry `marker`, with their "\r\n" checked.
QStringList logLinesWith(const QString &marker)
{
    QFile file(runLogPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromLocal8Bit(file.readAll());
    QStringList found;
    for (const QString &line : text.split(QStringLiteral("\r\n"))) {
        if (line.contains(marker))
            found << line;
    }
    return found;
}

QString uniqueMarker()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

const QString dateTimePattern = QStringLiteral(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \S+)");

} // namespace

class tst_RunLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lineOfEachType_data();
    void lineOfEachType();
    void messageWithContext();
    void debugStreamQuotesText();
    void placeholdersInTheMessageStayAsTheyAre();
    void concurrentWritersGiveWholeLines();
    void createsWorkingDirectoriesBelowCurrentDirectory();
};

void tst_RunLog::initTestCase()
{
    qInstallMessageHandler(writeRunLog);
    QCOMPARE(runLogPath(), QCoreApplication::applicationDirPath() + QStringLiteral("/log/RunLog.log"));
}

void tst_RunLog::lineOfEachType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("word");
    QTest::newRow("debug") << int(QtDebugMsg) << "Debug:";
    QTest::newRow("info") << int(QtInfoMsg) << "InFo:";
    QTest::newRow("warning") << int(QtWarningMsg) << "Warning:";
    QTest::newRow("critical") << int(QtCriticalMsg) << "Critical:";
}

void tst_RunLog::lineOfEachType()
{
    QFETCH(int, type);
    QFETCH(QString, word);
    const QString marker = uniqueMarker();
    switch (QtMsgType(type)) {
    case QtDebugMsg:
        qDebug("%s", qPrintable(marker));
        break;
    case QtInfoMsg:
        qInfo("%s", qPrintable(marker));
        break;
    case QtWarningMsg:
        qWarning("%s", qPrintable(marker));
        break;
    default:
        qCritical("%s", qPrintable(marker));
        break;
    }
    const QStringList lines = logLinesWith(marker);
    QCOMPARE(lines.size(), 1);
    // The program's own statements carry no source context.
    const QRegularExpression expected(
        QStringLiteral("^Type:%1 Message:%2 File:  Line:0  Function:  DateTime:%3$")
            .arg(QRegularExpression::escape(word), marker, dateTimePattern));
    QVERIFY2(expected.match(lines.first()).hasMatch(), qPrintable(lines.first()));
}

void tst_RunLog::messageWithContext()
{
    const QString marker = uniqueMarker();
    QMessageLogContext context("server.cpp", 42, "void f()", "default");
    writeRunLog(QtFatalMsg, context, marker);
    const QStringList lines = logLinesWith(marker);
    QCOMPARE(lines.size(), 1);
    const QRegularExpression expected(QStringLiteral(
        "^Type:Fatal: Message:%1 File:server.cpp  Line:42  Function:void f\\(\\)  DateTime:%2$")
                                          .arg(marker, dateTimePattern));
    QVERIFY2(expected.match(lines.first()).hasMatch(), qPrintable(lines.first()));

    // The day name is the local abbreviation, after date and time.
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("ddd"));
    QVERIFY(lines.first().endsWith(QLatin1Char(' ') + now));
}

void tst_RunLog::debugStreamQuotesText()
{
    const QString marker = uniqueMarker();
    const int line = __LINE__ + 1;
    qDebug() << TOLVANE_SOURCE << "Failed to" << marker << 7;
    const QStringList lines = logLinesWith(marker);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(
                 QStringLiteral("Type:Debug: Message:tst_runlog.cpp %1 Failed to \"%2\" 7 File:  ")
                     .arg(line)
                     .arg(marker)),
        qPrintable(lines.first()));
}

void tst_RunLog::placeholdersInTheMessageStayAsTheyAre()
{
    // Texts from pages, files and servers reach the log; a "%2" in them is no field.
    const QString text = uniqueMarker() + QStringLiteral(" %1 %2 %6 100%");
    qWarning("%s", qPrintable(text));
    const QStringList lines = logLinesWith(text);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(
                 QStringLiteral("Type:Warning: Message:") + text + QStringLiteral(" File:  Line:0")),
        qPrintable(lines.first()));
}

void tst_RunLog::concurrentWritersGiveWholeLines()
{
    const QString marker = uniqueMarker();
    constexpr int perThread = 200;
    auto writer = [&marker](char name) {
        for (int i = 0; i < perThread; ++i)
            qInfo("%s %c %d %s", qPrintable(marker), name, i, qPrintable(QString(200, QLatin1Char(name))));
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();

    const QStringList lines = logLinesWith(marker);
    QCOMPARE(lines.size(), 2 * perThread);
    const QRegularExpression whole(
        QStringLiteral("^Type:InFo: Message:%1 ([ab]) \\d+ (a{200}|b{200}) File:  Line:0  "
                       "Function:  DateTime:%2$")
            .arg(marker, dateTimePattern));
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = whole.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        QCOMPARE(match.captured(2).at(0), match.captured(1).at(0));
    }
}

void tst_RunLog::createsWorkingDirectoriesBelowCurrentDirectory()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    createWorkingDirectories();
    QDir::setCurrent(previous);
    for (const char *name : {"cardphoto", "log", "gatherPhoto", "facePhoto"})
        QVERIFY2(QDir(dir.filePath(QLatin1String(name))).exists(), name);
}

QTEST_GUILESS_MAIN(tst_RunLog)
#include "tst_runlog.moc"
