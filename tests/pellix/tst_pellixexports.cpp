// The six functions of the shared library, loaded at run time the way outside programs
// load it.
#include "pellix.h"

#include <QByteArray>
#include <QLibrary>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

const char *const kDiversifier = "0123456789ABCDEF";

struct PellixFunctions
{
    PellixCipherFunction encodeInfo = nullptr;
    PellixCipherFunction encodeInfo2 = nullptr;
    PellixCipherFunction decodeInfo = nullptr;
    PellixCipherFunction decodeInfo2 = nullptr;
    PellixTextFunction asc2Str = nullptr;
    PellixTextFunction str2Asc = nullptr;
};

PellixFunctions fn;

QByteArray encode(bool secondVariant, const QByteArray &text, const char *diversifier = kDiversifier)
{
    char out[PELLIX_ENCODEINFO2_OUT_SIZE];
    std::memset(out, 'x', sizeof out);
    const int result = (secondVariant ? fn.encodeInfo2 : fn.encodeInfo)(text.constData(), out, diversifier);
    if (result != 0)
        return QByteArray("result ") + QByteArray::number(result);
    return QByteArray(out);
}

QByteArray decode(bool secondVariant, const QByteArray &cipherHex, const char *diversifier = kDiversifier)
{
    char out[PELLIX_DECODE_OUT_SIZE];
    std::memset(out, 'x', sizeof out);
    const int result
        = (secondVariant ? fn.decodeInfo2 : fn.decodeInfo)(cipherHex.constData(), out, diversifier);
    if (result != 0)
        return QByteArray("result ") + QByteArray::number(result);
    return QByteArray(out);
}

// The cipher text of an enciphered record: everything behind its count field.
QByteArray cipherPart(const QByteArray &record)
{
    // The count is c, so the cipher text is the last 2 * c characters whatever the field width.
    for (int width = 2; width <= 4; ++width) {
        bool ok = false;
        const int count = record.left(width).toInt(&ok, 16);
        if (ok && record.size() == width + 2 * count)
            return record.mid(width);
    }
    return QByteArray("bad record ") + record;
}

QByteArray textOfLength(int length, int seed)
{
    QByteArray text;
    for (int i = 0; i < length; ++i)
        text.append(char(1 + (i * 37 + seed * 11) % 255)); // never a zero byte
    return text;
}

} // namespace

class tst_PellixExports : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void encodeRecords_data();
    void encodeRecords();
    void firstVariantDecoderReadsSecondVariantRecord();
    void textConversions_data();
    void textConversions();
    void str2AscReturnsLength();
    void roundTripEveryLength();
    void wrongDiversifierGivesNoise();
    void diversifierSelectsKey();
    void concurrentCallers();

private:
    QLibrary m_library;
};

void tst_PellixExports::initTestCase()
{
    m_library.setFileName(QStringLiteral(PELLIX_LIBRARY_FILE));
    QVERIFY2(m_library.load(), qPrintable(m_library.errorString()));
    fn.encodeInfo = reinterpret_cast<PellixCipherFunction>(m_library.resolve("encodeInfo"));
    fn.encodeInfo2 = reinterpret_cast<PellixCipherFunction>(m_library.resolve("encodeInfo2"));
    fn.decodeInfo = reinterpret_cast<PellixCipherFunction>(m_library.resolve("decodeInfo"));
    fn.decodeInfo2 = reinterpret_cast<PellixCipherFunction>(m_library.resolve("decodeInfo2"));
    fn.asc2Str = reinterpret_cast<PellixTextFunction>(m_library.resolve("asc2Str"));
    fn.str2Asc = reinterpret_cast<PellixTextFunction>(m_library.resolve("str2Asc"));
    QVERIFY(fn.encodeInfo && fn.encodeInfo2 && fn.decodeInfo && fn.decodeInfo2 && fn.asc2Str && fn.str2Asc);
}

void tst_PellixExports::encodeRecords_data()
{
    QTest::addColumn<bool>("secondVariant");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("count");
    QTest::addColumn<int>("hexLength");
    QTest::addColumn<QByteArray>("decoded");

    QTest::newRow("empty text") << false << QByteArray() << QByteArray("08") << 16 << QByteArray("#1");
    QTest::newRow("6 bytes, one block")
        << false << QByteArray("abcdef") << QByteArray("08") << 16 << QByteArray("abcdef#1");
    QTest::newRow("7 bytes, two blocks")
        << false << QByteArray("abcdefg") << QByteArray("10") << 32 << QByteArray("abcdefg#1");
    QTest::newRow("second variant, 4 bytes")
        << true << QByteArray("abcd") << QByteArray("0008") << 16 << QByteArray("abcd#2");
    QTest::newRow("second variant, 5 bytes")
        << true << QByteArray("abcde") << QByteArray("0010") << 32 << QByteArray("abcde#2");
    const QByteArray text300 = textOfLength(300, 3);
    QTest::newRow("300 bytes keep the first 44")
        << false << text300 << QByteArray("30") << 96 << text300.left(44) + "#1";
    QTest::newRow("256 bytes keep none")
        << false << textOfLength(256, 4) << QByteArray("08") << 16 << QByteArray("#1");
    // From 256 enciphered bytes on the count field grows to three digits.
    const QByteArray text254 = textOfLength(254, 5);
    QTest::newRow("254 bytes, three-digit count")
        << false << text254 << QByteArray("100") << 512 << text254 + "#1";
    const QByteArray text255 = textOfLength(255, 6);
    QTest::newRow("255 bytes, largest record")
        << false << text255 << QByteArray("108") << 528 << text255 + "#1";
    QTest::newRow("second variant, 255 bytes")
        << true << text255 << QByteArray("0108") << 528 << text255 + "#2";
    QTest::newRow("code page bytes pass unchanged")
        << false << QByteArray("\xD5\xC5\xC8\xFD") << QByteArray("08") << 16
        << QByteArray("\xD5\xC5\xC8\xFD#1");
}

void tst_PellixExports::encodeRecords()
{
    QFETCH(bool, secondVariant);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, count);
    QFETCH(int, hexLength);
    QFETCH(QByteArray, decoded);

    const QByteArray record = encode(secondVariant, text);
    QCOMPARE(record.left(count.size()), count);
    QCOMPARE(record.size(), count.size() + hexLength);
    const QByteArray hex = record.mid(count.size());
    QCOMPARE(hex, hex.toUpper());
    QVERIFY(QByteArray::fromHex(hex).toHex().toUpper() == hex);
    QCOMPARE(decode(secondVariant, hex), decoded);
}

void tst_PellixExports::firstVariantDecoderReadsSecondVariantRecord()
{
    // Only "00" of the length field "0004" is read: an empty text.
    const QByteArray record = encode(true, "abcd");
    QCOMPARE(decode(false, record.mid(4)), QByteArray("#1"));
}

void tst_PellixExports::textConversions_data()
{
    QTest::addColumn<bool>("toText");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("output");

    QTest::newRow("str2Asc abc") << false << QByteArray("abc") << QByteArray("616263");
    QTest::newRow("str2Asc empty") << false << QByteArray() << QByteArray();
    QTest::newRow("str2Asc high bytes upper case") << false << QByteArray("\xAB\xFF") << QByteArray("ABFF");
    QTest::newRow("asc2Str 616263") << true << QByteArray("616263") << QByteArray("abc,1");
    QTest::newRow("asc2Str lower case") << true << QByteArray("4a4b") << QByteArray("JK,1");
    QTest::newRow("asc2Str empty") << true << QByteArray() << QByteArray(",1");
    QTest::newRow("asc2Str odd last character ignored") << true << QByteArray("61626") << QByteArray("ab,1");
    QTest::newRow("asc2Str non-hexadecimal counts as 0")
        << true << QByteArray("G1x2") << QByteArray("\x01\x02,1");
    QTest::newRow("asc2Str ends at a zero byte") << true << QByteArray("610062") << QByteArray("a,1");
}

void tst_PellixExports::textConversions()
{
    QFETCH(bool, toText);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, output);

    char out[PELLIX_STR2ASC_OUT_SIZE];
    std::memset(out, 'x', sizeof out);
    if (toText)
        QCOMPARE(fn.asc2Str(input.constData(), out), 0);
    else
        fn.str2Asc(input.constData(), out);
    QCOMPARE(QByteArray(out), output);
}

void tst_PellixExports::str2AscReturnsLength()
{
    char out[PELLIX_STR2ASC_OUT_SIZE];
    QCOMPARE(fn.str2Asc("abc", out), 3);
    QCOMPARE(fn.str2Asc("", out), 0);
    QCOMPARE(fn.str2Asc(textOfLength(99, 1).constData(), out), 99);
}

void tst_PellixExports::roundTripEveryLength()
{
    for (int variant = 0; variant < 2; ++variant) {
        const bool second = variant == 1;
        for (int length = 0; length <= 255; ++length) {
            const QByteArray text = textOfLength(length, length);
            const QByteArray record = encode(second, text);
            const QByteArray back = decode(second, cipherPart(record));
            if (back != text + (second ? "#2" : "#1"))
                QFAIL(qPrintable(QString("variant %1, length %2: record %3 decodes to %4")
                                     .arg(variant + 1)
                                     .arg(length)
                                     .arg(QString(record), QString(back.toHex()))));
        }
    }
}

void tst_PellixExports::wrongDiversifierGivesNoise()
{
    const QByteArray text("Name=Zhang;ID=110101199003071234");
    for (int variant = 0; variant < 2; ++variant) {
        const bool second = variant == 1;
        const QByteArray hex = cipherPart(encode(second, text));
        const QByteArray noise = decode(second, hex, "FEDCBA9876543210");
        QVERIFY(noise != text + (second ? "#2" : "#1"));
        QVERIFY(noise.endsWith(second ? "#2" : "#1"));
        // Never longer than what was deciphered, whatever the length field says.
        QVERIFY(noise.size() <= hex.size() / 2 - (second ? 4 : 2) + 2);
    }
}

void tst_PellixExports::diversifierSelectsKey()
{
    const QByteArray text("same text");
    const QByteArray a = encode(false, text, "0000000000000001");
    const QByteArray b = encode(false, text, "0000000000000002");
    QVERIFY(a != b);
    QCOMPARE(encode(false, text, "0000000000000001"), a);
    // Only the first 16 characters take part.
    QCOMPARE(encode(false, text, "0000000000000001FFFF"), a);
    QCOMPARE(decode(false, cipherPart(a), "0000000000000001"), text + "#1");
}

void tst_PellixExports::concurrentCallers()
{
    // Each thread checks its own records against results computed on this thread first.
    constexpr int threadCount = 6;
    constexpr int rounds = 150;
    std::vector<QByteArray> diversifiers;
    std::vector<QByteArray> texts;
    std::vector<QByteArray> expected;
    for (int t = 0; t < threadCount; ++t) {
        diversifiers.push_back(QByteArray::number(0x1111111111111111ull * quint64(t + 1), 16).toUpper());
        texts.push_back(textOfLength(20 + 30 * t, t));
        expected.push_back(encode(t % 2 == 1, texts.back(), diversifiers.back().constData()));
    }

    std::atomic<int> failures {0};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            const bool second = t % 2 == 1;
            const char *diversifier = diversifiers[std::size_t(t)].constData();
            for (int i = 0; i < rounds; ++i) {
                const QByteArray record = encode(second, texts[std::size_t(t)], diversifier);
                const QByteArray back = decode(second, cipherPart(record), diversifier);
                if (record != expected[std::size_t(t)]
                    || back != texts[std::size_t(t)] + (second ? "#2" : "#1"))
                    ++failures;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(failures.load(), 0);
}

QTEST_GUILESS_MAIN(tst_PellixExports)
#include "tst_pellixexports.moc"
