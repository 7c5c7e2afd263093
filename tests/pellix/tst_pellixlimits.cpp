// Inputs beyond the limits, short diversifiers, lying length fields and null pointers.
// Built with AddressSanitizer; every buffer handed to the library is an exact-size heap
// block, so a single byte read or written past its end stops the test.
#include "DesCore.h"
#include "pellix.h"

#include <QByteArray>
#include <QtTest>

#include <cstring>
#include <memory>
#include <vector>

namespace {

const char *const kDiversifier = "0123456789ABCDEF";

// A zero-terminated copy of `text` in a heap block of exactly its size.
std::unique_ptr<char[]> exactCopy(const QByteArray &text)
{
    std::unique_ptr<char[]> copy(new char[std::size_t(text.size()) + 1]);
    std::memcpy(copy.get(), text.constData(), std::size_t(text.size()) + 1);
    return copy;
}

// An output block of exactly `size` bytes, filled with a marker.
std::unique_ptr<char[]> outputBlock(std::size_t size)
{
    std::unique_ptr<char[]> out(new char[size]);
    std::memset(out.get(), 'x', size);
    return out;
}

QByteArray hexOf(int bytes, int seed)
{
    QByteArray hex;
    for (int i = 0; i < bytes; ++i)
        hex.append(QByteArray::number((i * 29 + seed) % 256 | 0x100, 16).right(2).toUpper());
    return hex;
}

// Enciphers a raw record under the working key of `diversifier`, as an encoder would.
QByteArray cipherOfRecord(QByteArray record, const char *diversifier)
{
    while (record.size() % 8 != 0)
        record.append('\0');
    char key[pellix::kKeyHexSize];
    pellix::deriveWorkingKey(key, diversifier);
    std::size_t length = 0;
    pellix::tripleDesEncrypt(
        reinterpret_cast<std::uint8_t *>(record.data()), std::size_t(record.size()), &length, key);
    return record.toHex().toUpper();
}

QByteArray callDecode(bool secondVariant, const QByteArray &cipherHex, const char *diversifier = kDiversifier)
{
    auto in = exactCopy(cipherHex);
    auto out = outputBlock(PELLIX_DECODE_OUT_SIZE);
    (secondVariant ? decodeInfo2 : decodeInfo)(in.get(), out.get(), diversifier);
    return QByteArray(out.get());
}

} // namespace

class tst_PellixLimits : public QObject
{
    Q_OBJECT

private slots:
    void encodersUseLengthModulo256_data();
    void encodersUseLengthModulo256();
    void decodersReadAt1008Characters();
    void lengthFieldBeyondData_data();
    void lengthFieldBeyondData();
    void decodeOddAndEmptyInput();
    void asc2StrReadsAt198Characters();
    void str2AscConvertsAt99Bytes();
    void shortDiversifier_data();
    void shortDiversifier();
    void nullPointersWriteNothing();
};

void tst_PellixLimits::encodersUseLengthModulo256_data()
{
    QTest::addColumn<bool>("secondVariant");
    QTest::addColumn<int>("length");

    QTest::newRow("511 bytes: 255 used") << false << 511;
    QTest::newRow("511 bytes, second variant") << true << 511;
    QTest::newRow("4000 bytes: 160 used") << false << 4000;
    QTest::newRow("65791 bytes: 255 used, second variant") << true << 65791;
}

void tst_PellixLimits::encodersUseLengthModulo256()
{
    QFETCH(bool, secondVariant);
    QFETCH(int, length);

    QByteArray text(length, 'q');
    for (int i = 0; i < length; ++i)
        text[i] = char('A' + i % 26);
    auto in = exactCopy(text);
    const std::size_t outSize = secondVariant ? PELLIX_ENCODEINFO2_OUT_SIZE : PELLIX_ENCODEINFO_OUT_SIZE;
    auto out = outputBlock(outSize);
    QCOMPARE((secondVariant ? encodeInfo2 : encodeInfo)(in.get(), out.get(), kDiversifier), 0);

    const QByteArray record(out.get());
    QVERIFY(std::size_t(record.size()) < outSize);
    const int width = secondVariant ? 4 : (record.size() % 2 == 0 ? 2 : 3);
    const QByteArray back = callDecode(secondVariant, record.mid(width));
    QCOMPARE(back, text.left(length % 256) + (secondVariant ? "#2" : "#1"));
}

void tst_PellixLimits::decodersReadAt1008Characters()
{
    // A valid 255-byte record followed by thousands of characters of junk: only the first
    // 1008 characters are read, and they hold the whole record.
    const QByteArray text = QByteArray("0123456789abcdef").repeated(16).left(255);
    char record[PELLIX_ENCODEINFO_OUT_SIZE];
    encodeInfo(text.constData(), record, kDiversifier);
    const QByteArray hex = QByteArray(record).mid(3);
    QCOMPARE(hex.size(), 528);
    QCOMPARE(callDecode(false, hex + QByteArray(5000, 'F')), text + "#1");

    // Pure noise at the limit and far beyond it fits the output block.
    const QByteArray noise = hexOf(4000, 7);
    QCOMPARE(callDecode(false, noise), callDecode(false, noise.left(PELLIX_DECODE_IN_MAX)));
    QCOMPARE(callDecode(true, noise), callDecode(true, noise.left(PELLIX_DECODE_IN_MAX)));
}

void tst_PellixLimits::lengthFieldBeyondData_data()
{
    QTest::addColumn<bool>("secondVariant");
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QByteArray>("decoded");

    QTest::newRow("FF over 6 bytes") << false << QByteArray("FFabcdef") << QByteArray("abcdef#1");
    QTest::newRow("FF over 14 bytes")
        << false << QByteArray("FFabcdefghijklmn") << QByteArray("abcdefghijklmn#1");
    QTest::newRow("FFFF over 4 bytes") << true << QByteArray("FFFFwxyz") << QByteArray("wxyz#2");
    QTest::newRow("negative field") << false << QByteArray("-1abcdef") << QByteArray("abcdef#1");
    QTest::newRow("non-hexadecimal field") << false << QByteArray("ZZabcdef") << QByteArray("#1");
    QTest::newRow("field shorter than claimed text")
        << false << QByteArray("05ab\0cdef", 9) << QByteArray("ab#1");
    // The largest outputs: a field that claims everything, over a record at the input limit.
    const QByteArray full = QByteArray("0123456789").repeated(51).left(502);
    QTest::newRow("negative field at the input limit") << false << "-1" + full << full + "#1";
    QTest::newRow("FFFF at the input limit") << true << "FFFF" + full.left(500) << full.left(500) + "#2";
    QTest::newRow("FF at the input limit") << false << "FF" + full << full.left(255) + "#1";
}

void tst_PellixLimits::lengthFieldBeyondData()
{
    QFETCH(bool, secondVariant);
    QFETCH(QByteArray, record);
    QFETCH(QByteArray, decoded);

    QCOMPARE(callDecode(secondVariant, cipherOfRecord(record, kDiversifier)), decoded);
}

void tst_PellixLimits::decodeOddAndEmptyInput()
{
    char record[PELLIX_ENCODEINFO_OUT_SIZE];
    encodeInfo("odd", record, kDiversifier);
    const QByteArray hex = QByteArray(record).mid(2);
    QCOMPARE(callDecode(false, hex + "7"), QByteArray("odd#1"));
    QCOMPARE(callDecode(false, QByteArray()), QByteArray("#1"));
    QCOMPARE(callDecode(true, QByteArray("A")), QByteArray("#2"));
    // Three bytes: padded to one block before deciphering, noise but bounded.
    QVERIFY(callDecode(false, QByteArray("ABCDEF")).size() <= 8);
}

void tst_PellixLimits::asc2StrReadsAt198Characters()
{
    const QByteArray hex = QByteArray("41").repeated(500);
    auto in = exactCopy(hex);
    auto out = outputBlock(PELLIX_ASC2STR_OUT_SIZE);
    QCOMPARE(asc2Str(in.get(), out.get()), 0);
    QCOMPARE(QByteArray(out.get()), QByteArray(99, 'A') + ",1");

    auto odd = exactCopy(QByteArray("42").repeated(99) + "4");
    auto out2 = outputBlock(PELLIX_ASC2STR_OUT_SIZE);
    asc2Str(odd.get(), out2.get());
    QCOMPARE(QByteArray(out2.get()), QByteArray(99, 'B') + ",1");
}

void tst_PellixLimits::str2AscConvertsAt99Bytes()
{
    auto in = exactCopy(QByteArray(5000, 'a'));
    auto out = outputBlock(PELLIX_STR2ASC_OUT_SIZE);
    QCOMPARE(str2Asc(in.get(), out.get()), PELLIX_STR2ASC_IN_MAX);
    QCOMPARE(QByteArray(out.get()), QByteArray("61").repeated(99));

    auto exact = exactCopy(QByteArray(99, 'b'));
    auto out2 = outputBlock(PELLIX_STR2ASC_OUT_SIZE);
    QCOMPARE(str2Asc(exact.get(), out2.get()), 99);
    QCOMPARE(QByteArray(out2.get()), QByteArray("62").repeated(99));
}

void tst_PellixLimits::shortDiversifier_data()
{
    QTest::addColumn<QByteArray>("diversifier");
    QTest::addColumn<QByteArray>("completed");

    QTest::newRow("empty") << QByteArray() << QByteArray("0000000000000000");
    QTest::newRow("one character") << QByteArray("7") << QByteArray("7000000000000000");
    QTest::newRow("fifteen characters") << QByteArray("0123456789ABCDE") << QByteArray("0123456789ABCDE0");
}

void tst_PellixLimits::shortDiversifier()
{
    QFETCH(QByteArray, diversifier);
    QFETCH(QByteArray, completed);

    auto shortOne = exactCopy(diversifier);
    char byShort[PELLIX_ENCODEINFO2_OUT_SIZE];
    char byCompleted[PELLIX_ENCODEINFO2_OUT_SIZE];
    encodeInfo("text", byShort, shortOne.get());
    encodeInfo("text", byCompleted, completed.constData());
    QCOMPARE(QByteArray(byShort), QByteArray(byCompleted));

    encodeInfo2("text", byShort, shortOne.get());
    QCOMPARE(callDecode(true, QByteArray(byShort).mid(4), shortOne.get()), QByteArray("text#2"));
}

void tst_PellixLimits::nullPointersWriteNothing()
{
    auto out = outputBlock(PELLIX_ENCODEINFO2_OUT_SIZE);
    const QByteArray untouched(PELLIX_ENCODEINFO2_OUT_SIZE, 'x');
    const auto unchanged = [&] { return QByteArray(out.get(), PELLIX_ENCODEINFO2_OUT_SIZE) == untouched; };

    const PellixCipherFunction cipherFunctions[] = {encodeInfo, encodeInfo2, decodeInfo, decodeInfo2};
    for (PellixCipherFunction f : cipherFunctions) {
        QCOMPARE(f(nullptr, out.get(), kDiversifier), 0);
        QVERIFY(unchanged());
        QCOMPARE(f("00", out.get(), nullptr), 0);
        QVERIFY(unchanged());
        QCOMPARE(f("00", nullptr, kDiversifier), 0);
        QCOMPARE(f(nullptr, nullptr, nullptr), 0);
    }
    const PellixTextFunction textFunctions[] = {asc2Str, str2Asc};
    for (PellixTextFunction f : textFunctions) {
        QCOMPARE(f(nullptr, out.get()), 0);
        QVERIFY(unchanged());
        QCOMPARE(f("616263", nullptr), 0);
        QCOMPARE(f(nullptr, nullptr), 0);
    }
}

QTEST_GUILESS_MAIN(tst_PellixLimits)
#include "tst_pellixlimits.moc"
