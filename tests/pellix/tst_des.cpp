// Single DES, two-key triple DES, the hexadecimal conversions and the key parser.
#include "DesCore.h"

#include <QByteArray>
#include <QtTest>

#include <cstring>
#include <vector>

using namespace pellix;

namespace {

QByteArray runDes(const QByteArray &key, const QByteArray &block, bool decrypt)
{
    QByteArray out = block;
    auto *data = reinterpret_cast<std::uint8_t *>(out.data());
    const auto *k = reinterpret_cast<const std::uint8_t *>(key.constData());
    if (decrypt)
        desDecryptBlock(data, k);
    else
        desEncryptBlock(data, k);
    return out;
}

QByteArray flipParityBits(QByteArray key)
{
    for (char &c : key)
        c = char(c ^ 0x01);
    return key;
}

} // namespace

class tst_Des : public QObject
{
    Q_OBJECT

private slots:
    void knownAnswers_data();
    void knownAnswers();
    void parityBitsIgnored_data();
    void parityBitsIgnored();
    void roundKeysOfOneScheduleServeBothDirections();
    void tripleDesWithEqualHalvesIsSingleDes();
    void tripleDesPadding_data();
    void tripleDesPadding();
    void hexToBytes_data();
    void hexToBytes();
    void bytesToHexIsUpperCase();
    void keyTextToBytes_data();
    void keyTextToBytes();
    void workingKeyUsesSixteenCharacters_data();
    void workingKeyUsesSixteenCharacters();
};

void tst_Des::knownAnswers_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");

    // Published FIPS 46 / NIST SP 800-17 validation vectors.
    QTest::newRow("textbook example")
        << QByteArray::fromHex("133457799BBCDFF1") << QByteArray::fromHex("0123456789ABCDEF")
        << QByteArray::fromHex("85E813540F0AB405");
    QTest::newRow("Now is t") << QByteArray::fromHex("0123456789ABCDEF")
                              << QByteArray::fromHex("4E6F772069732074")
                              << QByteArray::fromHex("3FA40E8A984D4815");
    QTest::newRow("variable plaintext, first bit")
        << QByteArray::fromHex("0101010101010101") << QByteArray::fromHex("8000000000000000")
        << QByteArray::fromHex("95F8A5E5DD31D900");
    QTest::newRow("variable plaintext, last bit")
        << QByteArray::fromHex("0101010101010101") << QByteArray::fromHex("0000000000000001")
        << QByteArray::fromHex("166B40B44ABA4BD6");
    QTest::newRow("variable key, first bit")
        << QByteArray::fromHex("8001010101010101") << QByteArray::fromHex("0000000000000000")
        << QByteArray::fromHex("95A8D72813DAA94D");
    QTest::newRow("variable key, last bit")
        << QByteArray::fromHex("0101010101010180") << QByteArray::fromHex("0000000000000000")
        << QByteArray::fromHex("9CC62DF43B6EED74");
    QTest::newRow("permutation operation")
        << QByteArray::fromHex("1046913489980131") << QByteArray::fromHex("0000000000000000")
        << QByteArray::fromHex("88D55E54F54C97B4");
    QTest::newRow("substitution table")
        << QByteArray::fromHex("7CA110454A1A6E57") << QByteArray::fromHex("01A1D6D039776742")
        << QByteArray::fromHex("690F5B0D9A26939B");
    QTest::newRow("all zero") << QByteArray::fromHex("0000000000000000")
                              << QByteArray::fromHex("0000000000000000")
                              << QByteArray::fromHex("8CA64DE9C1B123A7");
    QTest::newRow("all one") << QByteArray::fromHex("FFFFFFFFFFFFFFFF")
                             << QByteArray::fromHex("FFFFFFFFFFFFFFFF")
                             << QByteArray::fromHex("7359B2163E4EDC58");
    QTest::newRow("sparse key") << QByteArray::fromHex("3000000000000000")
                                << QByteArray::fromHex("1000000000000001")
                                << QByteArray::fromHex("958E6E627A05557B");
}

void tst_Des::knownAnswers()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);

    QCOMPARE(runDes(key, plain, false).toHex().toUpper(), cipher.toHex().toUpper());
    QCOMPARE(runDes(key, cipher, true).toHex().toUpper(), plain.toHex().toUpper());
}

void tst_Des::parityBitsIgnored_data()
{
    knownAnswers_data();
}

void tst_Des::parityBitsIgnored()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);

    const QByteArray otherParity = flipParityBits(key);
    QCOMPARE(runDes(otherParity, plain, false), cipher);
    QCOMPARE(runDes(otherParity, cipher, true), plain);
}

void tst_Des::roundKeysOfOneScheduleServeBothDirections()
{
    const std::uint8_t key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
    DesRoundKeys keys;
    desKeySchedule(key, keys);
    std::uint8_t block[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    desEncryptBlock(block, keys);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(block), 8), QByteArray::fromHex("85E813540F0AB405"));
    desDecryptBlock(block, keys);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(block), 8), QByteArray::fromHex("0123456789ABCDEF"));
}

void tst_Des::tripleDesWithEqualHalvesIsSingleDes()
{
    // EDE with K1 = K2 collapses to a single encryption under K1.
    std::uint8_t data[16]
        = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x4E, 0x6F, 0x77, 0x20, 0x69, 0x73, 0x20, 0x74};
    std::size_t length = 0;
    tripleDesEncrypt(data, sizeof data, &length, "133457799BBCDFF1133457799BBCDFF1");
    QCOMPARE(length, std::size_t(16));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(data), 8), QByteArray::fromHex("85E813540F0AB405"));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(data + 8), 8),
        runDes(QByteArray::fromHex("133457799BBCDFF1"), QByteArray::fromHex("4E6F772069732074"), false));
}

void tst_Des::tripleDesPadding_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("padded");

    QTest::newRow("empty") << 0 << 0;
    QTest::newRow("one byte") << 1 << 8;
    QTest::newRow("one block") << 8 << 8;
    QTest::newRow("ten bytes") << 10 << 16;
    QTest::newRow("two blocks") << 16 << 16;
    QTest::newRow("beyond a thousand bytes") << 1001 << 1008;
}

void tst_Des::tripleDesPadding()
{
    QFETCH(int, length);
    QFETCH(int, padded);
    const char *key = "0123456789ABCDEFFEDCBA9876543210";

    // The buffer holds exactly the padded length and a guard byte behind it.
    std::vector<std::uint8_t> buffer(std::size_t(padded) + 1, 0xAA);
    for (int i = 0; i < length; ++i)
        buffer[std::size_t(i)] = std::uint8_t(i * 7 + 1);
    const std::vector<std::uint8_t> plain = buffer;

    std::size_t outLength = 12345;
    tripleDesEncrypt(buffer.data(), std::size_t(length), &outLength, key);
    QCOMPARE(outLength, std::size_t(padded));
    QCOMPARE(buffer.back(), std::uint8_t(0xAA));
    if (padded > 0)
        QVERIFY(std::vector<std::uint8_t>(buffer.begin(), buffer.end() - 1)
            != std::vector<std::uint8_t>(plain.begin(), plain.end() - 1));

    std::size_t decryptedLength = 0;
    tripleDesDecrypt(buffer.data(), outLength, &decryptedLength, key);
    QCOMPARE(decryptedLength, std::size_t(padded));
    for (int i = 0; i < padded; ++i) {
        const std::uint8_t expected = i < length ? plain[std::size_t(i)] : 0;
        QCOMPARE(buffer[std::size_t(i)], expected);
    }
    QCOMPARE(buffer.back(), std::uint8_t(0xAA));
}

void tst_Des::hexToBytes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("upper case") << QByteArray("0AF9C3") << QByteArray::fromHex("0AF9C3");
    QTest::newRow("lower case") << QByteArray("0af9c3") << QByteArray::fromHex("0AF9C3");
    QTest::newRow("non-hexadecimal counts as 0") << QByteArray("G1 Z-!") << QByteArray::fromHex("010000");
    QTest::newRow("empty") << QByteArray("") << QByteArray();
}

void tst_Des::hexToBytes()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, bytes);

    std::vector<std::uint8_t> out(std::size_t(bytes.size()) + 2, 0xAA);
    pellix::hexToBytes(out.data(), text.constData(), std::size_t(bytes.size()));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(out.data()), bytes.size()), bytes);
    QCOMPARE(out[std::size_t(bytes.size())], std::uint8_t(0));
    QCOMPARE(out[std::size_t(bytes.size()) + 1], std::uint8_t(0xAA));
}

void tst_Des::bytesToHexIsUpperCase()
{
    const std::uint8_t bytes[] = {0x00, 0x0A, 0xBC, 0xFF, 0x7E};
    char text[12];
    std::memset(text, 'x', sizeof text);
    pellix::bytesToHex(text, bytes, sizeof bytes);
    QCOMPARE(QByteArray(text), QByteArray("000ABCFF7E"));
    QCOMPARE(text[11], 'x');
}

void tst_Des::keyTextToBytes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("upper case") << QByteArray("C84E1A7B09D36F25") << QByteArray::fromHex("C84E1A7B09D36F25");
    QTest::newRow("lower case") << QByteArray("c84e1a7b09d36f25") << QByteArray::fromHex("C84E1A7B09D36F25");
    QTest::newRow("blank counts as 0") << QByteArray("1 2 ") << QByteArray::fromHex("1020");
    QTest::newRow("odd length has a leading 0") << QByteArray("ABC") << QByteArray::fromHex("0ABC");
    QTest::newRow("single digit") << QByteArray("7") << QByteArray::fromHex("07");
}

void tst_Des::keyTextToBytes()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, bytes);

    std::vector<std::uint8_t> out(std::size_t(bytes.size()) + 1, 0xAA);
    pellix::keyTextToBytes(out.data(), text.constData(), std::size_t(text.size()));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(out.data()), bytes.size()), bytes);
    QCOMPARE(out.back(), std::uint8_t(0xAA));
}

void tst_Des::workingKeyUsesSixteenCharacters_data()
{
    QTest::addColumn<QByteArray>("diversifier");
    QTest::addColumn<QByteArray>("sameAs");

    QTest::newRow("characters past 16 are ignored")
        << QByteArray("0123456789ABCDEF99") << QByteArray("0123456789ABCDEF");
    QTest::newRow("lower case") << QByteArray("0123456789abcdef") << QByteArray("0123456789ABCDEF");
    QTest::newRow("short is completed with 0") << QByteArray("12AB") << QByteArray("12AB000000000000");
    QTest::newRow("odd short") << QByteArray("123") << QByteArray("1230000000000000");
    QTest::newRow("empty") << QByteArray("") << QByteArray("0000000000000000");
    QTest::newRow("non-hexadecimal counts as 0")
        << QByteArray("01234567Z9ABCDEF") << QByteArray("0123456709ABCDEF");
}

void tst_Des::workingKeyUsesSixteenCharacters()
{
    QFETCH(QByteArray, diversifier);
    QFETCH(QByteArray, sameAs);

    // An exact-size copy: nothing past its end may be read.
    std::vector<char> exact(diversifier.constData(), diversifier.constData() + diversifier.size() + 1);
    char key[kKeyHexSize];
    char expected[kKeyHexSize];
    deriveWorkingKey(key, exact.data());
    deriveWorkingKey(expected, sameAs.constData());
    QCOMPARE(QByteArray(key), QByteArray(expected));
    QCOMPARE(QByteArray(key).size(), 32);
    QCOMPARE(QByteArray(key), QByteArray(key).toUpper());

    if (diversifier.isEmpty()) {
        deriveWorkingKey(key, nullptr);
        QCOMPARE(QByteArray(key), QByteArray(expected));
    }
}

QTEST_GUILESS_MAIN(tst_Des)
#include "tst_des.moc"
