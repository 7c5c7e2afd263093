#include "SharedRecords.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

// Emits every record from its own thread.
class RecordSender : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void card(int type, IDCardReadData &data);
    void face(int type, FaceReadData &data);
    void check(CheckResult &result, QString path);
    void message(MsgResult &result, QString path, int type);

public slots:
    void sendAll()
    {
        IDCardReadData cardData {QStringLiteral("张三"), QStringLiteral("男"), QStringLiteral("汉"),
            QStringLiteral("19900101"), QStringLiteral("北京市"), QStringLiteral("11010119900101123X"),
            QStringLiteral("公安局"), QStringLiteral("20200101"), QStringLiteral("20300101"),
            QStringLiteral("::ffff:127.0.0.1"), 50123};
        emit card(1, cardData);
        cardData = IDCardReadData(); // the receiver holds its own copy

        FaceReadData faceData {QString(), QStringLiteral("127.0.0.1"), 4242};
        emit face(1, faceData);

        CheckResult verdict;
        verdict.rightEyeCovered = true;
        emit check(verdict, QStringLiteral("show_1.jpg"));

        MsgResult result {QStringLiteral("鉴权失败"), true};
        emit message(result, QStringLiteral("show_2.jpg"), 3);
    }
};

class RecordReceiver : public QObject
{
    Q_OBJECT

public:
    IDCardReadData cardData;
    FaceReadData faceData;
    CheckResult verdict;
    MsgResult result;
    QThread *cardThread = nullptr;
    int calls = 0;

public slots:
    void onCard(int type, IDCardReadData &data)
    {
        QCOMPARE(type, 1);
        cardData = data;
        cardThread = QThread::currentThread();
        ++calls;
    }
    void onFace(int, FaceReadData &data)
    {
        faceData = data;
        ++calls;
    }
    void onCheck(CheckResult &r, QString)
    {
        verdict = r;
        ++calls;
    }
    void onMessage(MsgResult &r, QString, int)
    {
        result = r;
        ++calls;
    }
};

class tst_SharedRecords : public QObject
{
    Q_OBJECT

private slots:
    void registeredUnderReferenceNames_data();
    void registeredUnderReferenceNames();
    void queuedAcrossThreadsKeepsEveryMember();
    void defaultValues();
};

void tst_SharedRecords::registeredUnderReferenceNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("type");
    QTest::newRow("IDCardReadData&") << QByteArray("IDCardReadData&") << qMetaTypeId<IDCardReadData>();
    QTest::newRow("QImage&") << QByteArray("QImage&") << int(QMetaType::QImage);
    QTest::newRow("CheckResult&") << QByteArray("CheckResult&") << qMetaTypeId<CheckResult>();
    QTest::newRow("FaceReadData&") << QByteArray("FaceReadData&") << qMetaTypeId<FaceReadData>();
    QTest::newRow("MsgResult&") << QByteArray("MsgResult&") << qMetaTypeId<MsgResult>();
}

// Queued connections look a non-const reference parameter up under its name with "&".
void tst_SharedRecords::registeredUnderReferenceNames()
{
    QFETCH(QByteArray, name);
    QFETCH(int, type);
    registerSharedRecords();
    QCOMPARE(QMetaType::type(name.constData()), type);
    QVERIFY(QMetaType(type).flags().testFlag(QMetaType::NeedsConstruction));
}

void tst_SharedRecords::queuedAcrossThreadsKeepsEveryMember()
{
    registerSharedRecords();
    registerSharedRecords(); // a second call is harmless

    QThread thread;
    RecordSender sender;
    sender.moveToThread(&thread);
    RecordReceiver receiver;
    connect(&sender, &RecordSender::card, &receiver, &RecordReceiver::onCard);
    connect(&sender, &RecordSender::face, &receiver, &RecordReceiver::onFace);
    connect(&sender, &RecordSender::check, &receiver, &RecordReceiver::onCheck);
    connect(&sender, &RecordSender::message, &receiver, &RecordReceiver::onMessage);
    thread.start();
    QMetaObject::invokeMethod(&sender, &RecordSender::sendAll, Qt::QueuedConnection);
    QTRY_COMPARE(receiver.calls, 4);
    thread.quit();
    thread.wait();

    QCOMPARE(receiver.cardThread, QThread::currentThread());
    const IDCardReadData &c = receiver.cardData;
    QCOMPARE(c.name, QStringLiteral("张三"));
    QCOMPARE(c.sex, QStringLiteral("男"));
    QCOMPARE(c.nation, QStringLiteral("汉"));
    QCOMPARE(c.birthday, QStringLiteral("19900101"));
    QCOMPARE(c.address, QStringLiteral("北京市"));
    QCOMPARE(c.idCard, QStringLiteral("11010119900101123X"));
    QCOMPARE(c.extra1, QStringLiteral("公安局"));
    QCOMPARE(c.extra2, QStringLiteral("20200101"));
    QCOMPARE(c.extra3, QStringLiteral("20300101"));
    QCOMPARE(c.ip, QStringLiteral("::ffff:127.0.0.1"));
    QCOMPARE(c.port, 50123);

    QVERIFY(receiver.faceData.imageBase64.isEmpty());
    QCOMPARE(receiver.faceData.ip, QStringLiteral("127.0.0.1"));
    QCOMPARE(receiver.faceData.port, 4242);

    QVERIFY(receiver.verdict.rightEyeCovered);
    QVERIFY(!receiver.verdict.passed);
    QCOMPARE(receiver.result.message, QStringLiteral("鉴权失败"));
    QVERIFY(receiver.result.passed);
}

void tst_SharedRecords::defaultValues()
{
    const CheckResult copy = CheckResult();
    QVERIFY(!copy.passed);
    const IDCardReadData card;
    QVERIFY(card.ip.isEmpty());
    QCOMPARE(card.port, 0);
    QVERIFY(MsgResult().message.isEmpty());
}

QTEST_GUILESS_MAIN(tst_SharedRecords)
#include "tst_sharedrecords.moc"
