#include "SingleApplication.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <cstdio>

// The guard in this process against real later starts: the test binary starts
// copies of itself, which take the same local socket name.
class tst_SingleApplication : public QObject
{
    Q_OBJECT

private slots:
    void secondStartEndsAndFirstKeepsListening();
    void secondStartBringsWindowForward();
    void nameLeftByKilledInstanceIsTakenOver();

private:
    static int runSecondStart(
        const QStringList &args, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());
};

namespace {
const char secondStartFlag[] = "--second-start";
const char serveFlag[] = "--serve";
constexpr int notRunningExit = 3;
} // namespace

int tst_SingleApplication::runSecondStart(const QStringList &args, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(
        QCoreApplication::applicationFilePath(), QStringList {QLatin1String(secondStartFlag)} + args);
    // The guard in this process answers from the event loop.
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 40000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void tst_SingleApplication::secondStartEndsAndFirstKeepsListening()
{
    auto *app = qobject_cast<SingleApplication *>(qApp);
    QVERIFY(!app->isRunning);
    QCOMPARE(runSecondStart({QStringLiteral("first"), QStringLiteral("last argument")}), 0);
    QCOMPARE(runSecondStart({}), 0);
    QCOMPARE(runSecondStart({QString::fromUtf8("身份证")}), 0);
}

void tst_SingleApplication::secondStartBringsWindowForward()
{
    auto *app = qobject_cast<SingleApplication *>(qApp);
    QWidget window;
    window.resize(200, 100);
    window.setWindowState(Qt::WindowMinimized);
    window.hide();
    app->mainWindow = &window;

    QCOMPARE(runSecondStart({}), 0);
    QTRY_VERIFY(window.isVisible());
    QVERIFY(!(window.windowState() & Qt::WindowMinimized));
    app->mainWindow = nullptr;

    // A window that is gone by now is not touched.
    {
        QWidget shortLived;
        app->mainWindow = &shortLived;
    }
    QVERIFY(!app->mainWindow);
    QCOMPARE(runSecondStart({}), 0);
}

void tst_SingleApplication::nameLeftByKilledInstanceIsTakenOver()
{
#ifdef Q_OS_WIN
    QSKIP("Named pipes vanish with their process; nothing is left behind on Windows");
#endif
    // A private temp folder: the socket name there is not this process's.
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), tmp.path());
    const QString socketFile
        = tmp.path() + QLatin1Char('/') + QFileInfo(QCoreApplication::applicationFilePath()).fileName();

    auto serve = [&env](QProcess &process) {
        process.setProcessEnvironment(env);
        process.start(QCoreApplication::applicationFilePath(), {QLatin1String(serveFlag)});
        return process.waitForReadyRead(10000) && process.readAll().contains("serving");
    };

    QProcess crashed;
    QVERIFY(serve(crashed));
    crashed.kill();
    QVERIFY(crashed.waitForFinished(5000));
    QVERIFY2(QFileInfo::exists(socketFile), "a killed instance leaves its socket file");

    QProcess next;
    QVERIFY2(serve(next), "the start after the crash becomes the running instance");
    QCOMPARE(runSecondStart({}, env), 0);
    next.kill();
    next.waitForFinished(5000);
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], secondStartFlag) == 0) {
            SingleApplication app(argc, argv);
            return app.isRunning ? 0 : notRunningExit;
        }
        if (qstrcmp(argv[i], serveFlag) == 0) {
            SingleApplication app(argc, argv);
            if (app.isRunning)
                return notRunningExit;
            std::fputs("serving\n", stdout);
            std::fflush(stdout);
            return app.exec();
        }
    }
    // Builds of other developers run this test at the same time: the socket
    // name lives in a temp folder of this run only.
    QTemporaryDir tmp;
    if (!tmp.isValid())
        return 1;
    qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    SingleApplication app(argc, argv);
    if (app.isRunning)
        return 1;
    tst_SingleApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleapplication.moc"
