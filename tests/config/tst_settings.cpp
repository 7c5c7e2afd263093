#include "Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Every setting by the name it has in the file's documentation and the code.
QVariant current(const QString &name)
{
    static const QHash<QString, std::function<QVariant()>> values {
        {"fileUrl", [] { return QVariant(fileUrl.get()); }},
        {"checkUrl", [] { return QVariant(checkUrl.get()); }},
        {"authUrl", [] { return QVariant(authUrl.get()); }},
        {"validUrl", [] { return QVariant(validUrl.get()); }},
        {"accessKeyValue", [] { return QVariant(accessKeyValue.get()); }},
        {"accessSecretValue", [] { return QVariant(accessSecretValue.get()); }},
        {"collectTimer", [] { return QVariant(collectTimer.get()); }},
        {"verifyType", [] { return QVariant(verifyType.get()); }},
        {"videoIndex", [] { return QVariant(videoIndex.get()); }},
        {"extraPort", [] { return QVariant(extraPort.get()); }},
        {"occlusionMax", [] { return QVariant(occlusionMax.get()); }},
        {"illuminationMin", [] { return QVariant(illuminationMin.get()); }},
        {"illuminationMax", [] { return QVariant(illuminationMax.get()); }},
        {"blurMax", [] { return QVariant(blurMax.get()); }},
        {"widthMin", [] { return QVariant(widthMin.get()); }},
        {"widthMax", [] { return QVariant(widthMax.get()); }},
        {"heightMin", [] { return QVariant(heightMin.get()); }},
        {"heightMax", [] { return QVariant(heightMax.get()); }},
        {"leftMin", [] { return QVariant(leftMin.get()); }},
        {"leftMax", [] { return QVariant(leftMax.get()); }},
        {"topMin", [] { return QVariant(topMin.get()); }},
        {"topMax", [] { return QVariant(topMax.get()); }},
        {"rotationMin", [] { return QVariant(rotationMin.get()); }},
        {"rotationMax", [] { return QVariant(rotationMax.get()); }},
    };
    const auto found = values.constFind(name);
    return found == values.constEnd() ? QVariant() : found.value()();
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void defaultPathIsProgramFolder();
    void noFileGivesDefaults_data();
    void noFileGivesDefaults();
    void loader_data();
    void loader();
    void outOfRangeExtraPortIsRefused();
    void readSettingsGroupPattern();
    void writerKeepsOtherKeys();
    void writerFeedsTheLoader();
    void writeFailureIsLogged();

private:
    void writeFile(const QByteArray &text);

    QScopedPointer<QTemporaryDir> dir;
    QString path;
};

void TestSettings::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    path = dir->filePath(QStringLiteral("Setup.ini"));
    setSettingsFilePath(path);
}

void TestSettings::cleanup()
{
    setSettingsFilePath(QString());
}

void TestSettings::writeFile(const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

void TestSettings::defaultPathIsProgramFolder()
{
    setSettingsFilePath(QString());
    QCOMPARE(settingsFilePath(), QCoreApplication::applicationDirPath() + QStringLiteral("/Setup.ini"));
}

void TestSettings::noFileGivesDefaults_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("fileUrl") << "fileUrl"
                             << QVariant("http://127.0.0.1/pravon/iccardURLTotal/facesetting.json");
    QTest::newRow("checkUrl") << "checkUrl"
                              << QVariant("http://127.0.0.1:7001/dunmere/faceCheck/baiduFaceCheck");
    QTest::newRow("authUrl") << "authUrl" << QVariant("https://127.0.0.1/auth");
    QTest::newRow("validUrl") << "validUrl" << QVariant("https://127.0.0.1/valid/detect");
    QTest::newRow("accessKeyValue") << "accessKeyValue" << QVariant("A7D2E90B3F6C4815B0E9D27C6A1F3E84");
    QTest::newRow("accessSecretValue") << "accessSecretValue" << QVariant("6E0C93A5D1B74F28E3C05B9A7D62F1C0");
    QTest::newRow("collectTimer") << "collectTimer" << QVariant(1);
    QTest::newRow("verifyType") << "verifyType" << QVariant(1);
    QTest::newRow("videoIndex") << "videoIndex" << QVariant(0);
    QTest::newRow("extraPort") << "extraPort" << QVariant(10081);
    QTest::newRow("occlusionMax") << "occlusionMax" << QVariant(0.2);
    QTest::newRow("illuminationMin") << "illuminationMin" << QVariant(80.0);
    QTest::newRow("illuminationMax") << "illuminationMax" << QVariant(300.0);
    QTest::newRow("blurMax") << "blurMax" << QVariant(0.3);
    QTest::newRow("widthMin") << "widthMin" << QVariant(180.0);
    QTest::newRow("widthMax") << "widthMax" << QVariant(300.0);
    QTest::newRow("heightMin") << "heightMin" << QVariant(180.0);
    QTest::newRow("heightMax") << "heightMax" << QVariant(300.0);
    QTest::newRow("leftMin") << "leftMin" << QVariant(200.0);
    QTest::newRow("leftMax") << "leftMax" << QVariant(300.0);
    QTest::newRow("topMin") << "topMin" << QVariant(160.0);
    QTest::newRow("topMax") << "topMax" << QVariant(300.0);
    QTest::newRow("rotationMin") << "rotationMin" << QVariant(-5.0);
    QTest::newRow("rotationMax") << "rotationMax" << QVariant(5.0);
}

void TestSettings::noFileGivesDefaults()
{
    QFETCH(QString, name);
    QFETCH(QVariant, expected);

    loadSettings();
    QCOMPARE(current(name), expected);
    // Defaults are never written.
    QVERIFY(!QFile::exists(path));
}

void TestSettings::loader_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("facecount: second number")
        << QByteArray("[face]\nfacecount=0.5|0.9\n") << "occlusionMax" << QVariant(0.9);
    QTest::newRow("blur: second number")
        << QByteArray("[face]\nblur=0.7|0.4\n") << "blurMax" << QVariant(0.4);
    QTest::newRow("width without |: first")
        << QByteArray("[face]\nwidth=150\n") << "widthMin" << QVariant(150.0);
    QTest::newRow("width without |: second 0")
        << QByteArray("[face]\nwidth=150\n") << "widthMax" << QVariant(0.0);
    QTest::newRow("illumination abc|200: first 0")
        << QByteArray("[face]\nillumination=abc|200\n") << "illuminationMin" << QVariant(0.0);
    QTest::newRow("illumination abc|200: second")
        << QByteArray("[face]\nillumination=abc|200\n") << "illuminationMax" << QVariant(200.0);
    QTest::newRow("rotation negative")
        << QByteArray("[face]\nrotation=-12.5|7\n") << "rotationMin" << QVariant(-12.5);
    QTest::newRow("empty range") << QByteArray("[face]\ntop=\n") << "topMin" << QVariant(0.0);
    QTest::newRow("range with three parts")
        << QByteArray("[face]\nheight=1|2|3\n") << "heightMax" << QVariant(2.0);
    QTest::newRow("nan is no number") << QByteArray("[face]\nleft=nan|inf\n") << "leftMax" << QVariant(0.0);
    QTest::newRow("face wins over base")
        << QByteArray("[base]\nleft=1|2\n[face]\nleft=3|4\n") << "leftMin" << QVariant(3.0);
    QTest::newRow("face wins, file order reversed")
        << QByteArray("[face]\nvideoIndex=4\n[base]\nvideoIndex=2\n") << "videoIndex" << QVariant(4);
    QTest::newRow("videoIndex under base")
        << QByteArray("[base]\nvideoIndex=1\n") << "videoIndex" << QVariant(1);
    QTest::newRow("videoIndex under face")
        << QByteArray("[face]\nvideoIndex=1\n") << "videoIndex" << QVariant(1);
    QTest::newRow("range under base") << QByteArray("[base]\nblur=0|0.6\n") << "blurMax" << QVariant(0.6);
    QTest::newRow("other groups are not read")
        << QByteArray("[extra]\nvideoIndex=5\n") << "videoIndex" << QVariant(0);
    QTest::newRow("collectTimer integer")
        << QByteArray("[base]\ncollectTimer=3\n") << "collectTimer" << QVariant(3);
    QTest::newRow("collectTimer text gives 0")
        << QByteArray("[base]\ncollectTimer=soon\n") << "collectTimer" << QVariant(0);
    QTest::newRow("verifyType fraction gives 0")
        << QByteArray("[base]\nverifyType=2.5\n") << "verifyType" << QVariant(0);
    QTest::newRow("verifyType empty gives 0")
        << QByteArray("[base]\nverifyType=\n") << "verifyType" << QVariant(0);
    QTest::newRow("fileUrl") << QByteArray(
        "[base]\nfileUrl=http://settings.example:8080/a/facesetting.json\n")
                             << "fileUrl" << QVariant("http://settings.example:8080/a/facesetting.json");
    QTest::newRow("URL with unquoted commas") << QByteArray("[base]\ncheckUrl=http://h/check?a=1,2,3\n")
                                              << "checkUrl" << QVariant("http://h/check?a=1,2,3");
    QTest::newRow("UTF-8 text") << QByteArray("[base]\naccessKeyValue=密钥\n") << "accessKeyValue"
                                << QVariant(QStringLiteral("密钥"));
    QTest::newRow("other keys keep defaults")
        << QByteArray("[base]\nfileUrl=http://h/f.json\n") << "authUrl" << QVariant("https://127.0.0.1/auth");
    QTest::newRow("extraPort") << QByteArray("[base]\nextraPort=10090\n") << "extraPort" << QVariant(10090);
    QTest::newRow("extraPort 0 for none")
        << QByteArray("[base]\nextraPort=0\n") << "extraPort" << QVariant(0);
    QTest::newRow("extraPort text gives 0")
        << QByteArray("[base]\nextraPort=none\n") << "extraPort" << QVariant(0);
}

void TestSettings::loader()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, name);
    QFETCH(QVariant, expected);

    writeFile(ini);
    loadSettings();
    QCOMPARE(current(name), expected);
}

void TestSettings::outOfRangeExtraPortIsRefused()
{
    writeFile("[base]\nextraPort=70000\n");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("extraPort 70000 is no TCP port"));
    loadSettings();
    QCOMPARE(extraPort.get(), 0);
}

void TestSettings::readSettingsGroupPattern()
{
    writeFile("[face]\nwidth=1|2\nheight=3|4\nwidthExtra=5\n[base]\nwidth=9|9\n");

    QHash<QString, QVariant> table {{"width", "old"}, {"kept", "yes"}};
    readSettingsGroup(table, QStringLiteral("face"), QStringLiteral("^(width|height)$"));
    QCOMPARE(table.value("width").toString(), QStringLiteral("1|2"));
    QCOMPARE(table.value("height").toString(), QStringLiteral("3|4"));
    QVERIFY(!table.contains("widthExtra"));
    QCOMPARE(table.value("kept").toString(), QStringLiteral("yes"));

    // Case-sensitive, and matched anywhere in the name.
    QHash<QString, QVariant> some;
    readSettingsGroup(some, QStringLiteral("face"), QStringLiteral("Extra"));
    QCOMPARE(some.keys(), QStringList {"widthExtra"});
    some.clear();
    readSettingsGroup(some, QStringLiteral("face"), QStringLiteral("WIDTH"));
    QVERIFY(some.isEmpty());

    QHash<QString, QVariant> none;
    readSettingsGroup(none, QStringLiteral("missing"), QString());
    QVERIFY(none.isEmpty());

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not a valid regular expression"));
    readSettingsGroup(none, QStringLiteral("face"), QStringLiteral("(width"));
    QVERIFY(none.isEmpty());
}

void TestSettings::writerKeepsOtherKeys()
{
    writeFile("[base]\nfileUrl=http://h/f.json\nmyOwnKey=keep me\n[face]\nblur=0|0.3\n[tools]\nlevel=7\n");

    writeSetting(QStringLiteral("blur"), QStringLiteral("face"), QStringLiteral("0|0.8"));
    writeSetting(QStringLiteral("collectTimer"), QStringLiteral("base"), 2);

    QSettings file(path, QSettings::IniFormat);
    file.setIniCodec("UTF-8");
    QCOMPARE(file.value("base/myOwnKey").toString(), QStringLiteral("keep me"));
    QCOMPARE(file.value("base/fileUrl").toString(), QStringLiteral("http://h/f.json"));
    QCOMPARE(file.value("tools/level").toInt(), 7);
    QCOMPARE(file.value("face/blur").toString(), QStringLiteral("0|0.8"));
    QCOMPARE(file.value("base/collectTimer").toInt(), 2);
}

void TestSettings::writerFeedsTheLoader()
{
    // Written without a file at first: the writer creates it where the loader looks.
    writeSetting(QStringLiteral("fileUrl"), QStringLiteral("base"), QStringLiteral("http://h:81/a,b.json"));
    writeSetting(QStringLiteral("facecount"), QStringLiteral("face"), QStringLiteral("0.3|0.6"));
    writeSetting(QStringLiteral("accessKeyValue"), QStringLiteral("base"), QStringLiteral("钥匙"));
    writeSetting(QStringLiteral("width"), QStringLiteral("face"), QString());
    QVERIFY(QFile::exists(path));

    loadSettings();
    QCOMPARE(fileUrl.get(), QStringLiteral("http://h:81/a,b.json"));
    QCOMPARE(occlusionMax.get(), 0.6);
    QCOMPARE(accessKeyValue.get(), QStringLiteral("钥匙"));
    QCOMPARE(widthMin.get(), 0.0);
    QCOMPARE(widthMax.get(), 0.0);
}

void TestSettings::writeFailureIsLogged()
{
    // The folder of the file is a plain file, so nothing can be written there.
    QFile blocker(dir->filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    setSettingsFilePath(dir->filePath(QStringLiteral("blocker/Setup.ini")));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not write \"face/blur\""));
    writeSetting(QStringLiteral("blur"), QStringLiteral("face"), QStringLiteral("0|1"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
