#include "ProgramCopy.h"
#include "WsTestClient.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

// The program on an X desktop with a real notification area: Xvfb with the
// small tray panel trayer. xdotool plays the clerk's mouse.
class tst_TrayDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sitsInTheTrayAndComesUpOnClick();
    void withoutTrayASecondStartBringsTheWindowUp();

private:
    // Starts Xvfb on a free display; returns the display's name or an empty text.
    static QString startXvfb(QProcess &server);
    static void stopProcess(QProcess &process);
    QString run(const QString &program, const QStringList &arguments) const;
    struct Window
    {
        QString id;
        QRect geometry; // absolute
        bool isValid() const { return !id.isEmpty(); }
    };
    // The first window of `xwininfo -root -tree` whose line matches.
    Window findWindow(const QRegularExpression &line) const;
    bool isViewable(const Window &window) const;

    QProcess xvfb;
    QProcess tray;
    QString display;
};

QString tst_TrayDesktop::run(const QString &program, const QStringList &arguments) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(10000))
        process.kill();
    return QString::fromUtf8(process.readAllStandardOutput());
}

tst_TrayDesktop::Window tst_TrayDesktop::findWindow(const QRegularExpression &line) const
{
    const QString tree = run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    // 0x40000a "Tolvane": ("Tolvane" "Tolvane")  22x26+0+0  +1257+1
    const QRegularExpression fields(
        QStringLiteral("(0x[0-9a-f]+) .*\\s(\\d+)x(\\d+)[+-]-?\\d+[+-]-?\\d+\\s+\\+(-?\\d+)\\+(-?\\d+)"));
    for (const QString &text : tree.split(QLatin1Char('\n'))) {
        if (!line.match(text).hasMatch())
            continue;
        const QRegularExpressionMatch m = fields.match(text);
        if (m.hasMatch())
            return {m.captured(1),
                QRect(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(2).toInt(),
                    m.captured(3).toInt())};
    }
    return {};
}

bool tst_TrayDesktop::isViewable(const Window &window) const
{
    return window.isValid()
        && run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window.id})
               .contains(QStringLiteral("IsViewable"));
}

void tst_TrayDesktop::initTestCase()
{
    for (const char *tool : {"Xvfb", "trayer", "xdotool", "xwininfo"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/packages.txt lists it)")
                                 .arg(QLatin1String(tool))));
    }
    display = startXvfb(xvfb);
    QVERIFY(!display.isEmpty());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    tray.setProcessEnvironment(env);
    tray.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tray.start(QStringLiteral("trayer"),
        {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"), QStringLiteral("right"),
            QStringLiteral("--widthtype"), QStringLiteral("request"), QStringLiteral("--height"),
            QStringLiteral("28"), QStringLiteral("--SetDockType"), QStringLiteral("true")});
    QVERIFY(tray.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(findWindow(QRegularExpression(QStringLiteral("\"panel\""))).isValid(), 20000);
}

QString tst_TrayDesktop::startXvfb(QProcess &server)
{
    // Xvfb picks a free display and writes its number to standard output.
    server.start(QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
            QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!server.waitForStarted() || !QTest::qWaitFor([&server] { return server.canReadLine(); }, 20000))
        return QString();
    return QLatin1Char(':') + QString::fromLatin1(server.readLine().trimmed());
}

void tst_TrayDesktop::stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(5000);
}

void tst_TrayDesktop::cleanupTestCase()
{
    stopProcess(tray);
    stopProcess(xvfb);
}

void tst_TrayDesktop::sitsInTheTrayAndComesUpOnClick()
{
    ProgramCopy copy;
    QVERIFY(copy.isValid());
    QProcessEnvironment env = copy.environment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess *program = copy.start(QString(), {}, env);
    QVERIFY(copy.waitUntilServing(20000));

    // Top-level windows stand five blanks in, the panel's children further.
    const QRegularExpression iconInPanel(QStringLiteral("^\\s{8,}0x[0-9a-f]+ \"Tolvane\": \\(\"Tolvane\""));
    const QRegularExpression balloonLine(QStringLiteral("^\\s{5}0x[0-9a-f]+ \"Tolvane\": \\(\"Tolvane\""));
    const QRegularExpression mainWindowLine(QString::fromUtf8("\"身份证人脸信息采集程序\""));

    // The icon docks into the panel: Qt found a notification area.
    Window icon;
    QTRY_VERIFY_WITH_TIMEOUT((icon = findWindow(iconInPanel)).isValid(), 20000);
    // What shows is the icon with its balloon; the window itself hides.
    QTRY_VERIFY_WITH_TIMEOUT(isViewable(findWindow(balloonLine)), 5000);
    const Window mainWindow = findWindow(mainWindowLine);
    QVERIFY(mainWindow.isValid());
    QTRY_VERIFY_WITH_TIMEOUT(!isViewable(mainWindow), 10000);

    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(icon.geometry.center().x()),
            QString::number(icon.geometry.center().y()), QStringLiteral("click"), QStringLiteral("1")});
    QTRY_VERIFY_WITH_TIMEOUT(isViewable(findWindow(mainWindowLine)), 10000);
    QCOMPARE(findWindow(mainWindowLine).geometry.size(), QSize(900, 400));
    // While the window is up, the icon leaves the panel.
    QTRY_VERIFY_WITH_TIMEOUT(!findWindow(iconInPanel).isValid(), 10000);

    WsTestClient client;
    QVERIFY(client.open(10080));
    client.send(QStringLiteral("ID_CARD_RED"));
    QVERIFY(client.waitForMessages(1, 10000));
    QVERIFY(client.messages.first().contains(QStringLiteral("\"type\":1")));

    QCOMPARE(copy.stop(), 0);
    QCOMPARE(program->state(), QProcess::NotRunning);
}

void tst_TrayDesktop::withoutTrayASecondStartBringsTheWindowUp()
{
    // A desktop of its own, with no notification area on it.
    QProcess bareServer;
    const QString trayDisplay = display;
    display = startXvfb(bareServer);
    auto restore = qScopeGuard([&] {
        stopProcess(bareServer);
        display = trayDisplay;
    });
    QVERIFY(!display.isEmpty());

    ProgramCopy copy;
    QVERIFY(copy.isValid());
    QProcessEnvironment env = copy.environment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess *program = copy.start(QString(), {}, env);
    QVERIFY(copy.waitUntilServing(20000));

    const QRegularExpression mainWindowLine(QString::fromUtf8("\"身份证人脸信息采集程序\""));
    QTRY_VERIFY_WITH_TIMEOUT(findWindow(mainWindowLine).isValid(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!isViewable(findWindow(mainWindowLine)), 10000);

    // Hidden with no tray icon to click, the window is reached by starting again.
    QProcess second;
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(copy.binDir());
    second.start(copy.programPath(), QStringList());
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(isViewable(findWindow(mainWindowLine)), 10000);
    QCOMPARE(findWindow(mainWindowLine).geometry.size(), QSize(900, 400));

    QCOMPARE(copy.stop(), 0);
    QCOMPARE(program->state(), QProcess::NotRunning);
}

QTEST_GUILESS_MAIN(tst_TrayDesktop)
#include "tst_traydesktop.moc"
