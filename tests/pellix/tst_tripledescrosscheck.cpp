// Two-key triple DES, the working-key derivation and whole encodeInfo records, recomputed
// with OpenSSL's DES-EDE-ECB.
#include "DesCore.h"
#include "pellix.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QtTest>

#include <openssl/evp.h>

using namespace pellix;

namespace {

// Two-key triple DES EDE in ECB mode without padding, as OpenSSL computes it.
QByteArray opensslEde(const QByteArray &key, const QByteArray &data, bool encrypt)
{
    if (key.size() != 16 || data.size() % 8 != 0)
        return QByteArray();
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    QByteArray out(data.size() + 16, '\0');
    int written = 0;
    int finalWritten = 0;
    const auto *k = reinterpret_cast<const unsigned char *>(key.constData());
    bool ok = EVP_CipherInit_ex(ctx, EVP_des_ede_ecb(), nullptr, k, nullptr, encrypt ? 1 : 0) == 1
        && EVP_CIPHER_CTX_set_padding(ctx, 0) == 1
        && EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char *>(out.data()), &written,
               reinterpret_cast<const unsigned char *>(data.constData()), data.size())
            == 1
        && EVP_CipherFinal_ex(ctx, reinterpret_cast<unsigned char *>(out.data()) + written, &finalWritten)
            == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok)
        return QByteArray();
    out.resize(written + finalWritten);
    return out;
}

QByteArray randomBytes(QRandomGenerator &random, int count)
{
    QByteArray bytes(count, '\0');
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// The derivation written out from its description, on OpenSSL's cipher.
QByteArray expectedWorkingKey(const QByteArray &diversifier)
{
    const QByteArray key1 = QByteArray::fromHex("C84E1A7B09D36F25E7B1C04A92D5F836");
    const QByteArray key2 = QByteArray::fromHex("3B96D0E57A14C2F8D6E3A09B1C75F42E");
    const QByteArray master = opensslEde(key1, key2, true);

    QByteArray d(8, '\0');
    for (int i = 0; i < 16; ++i) {
        const char c = i < diversifier.size() ? diversifier.at(i) : '0';
        int value = 0;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        d[i / 2] = char(d.at(i / 2) | (i % 2 == 0 ? value << 4 : value));
    }
    QByteArray block = d;
    for (char c : d)
        block.append(char(~c));
    return opensslEde(master, block, true).toHex().toUpper();
}

QByteArray derive(const QByteArray &diversifier)
{
    char key[kKeyHexSize];
    deriveWorkingKey(key, diversifier.constData());
    return QByteArray(key);
}

} // namespace

class tst_TripleDesCrossCheck : public QObject
{
    Q_OBJECT

private slots:
    void opensslIsUsable();
    void randomKeysAndBlocks();
    void workingKey_data();
    void workingKey();
    void encodeInfoRecord_data();
    void encodeInfoRecord();
};

void tst_TripleDesCrossCheck::opensslIsUsable()
{
    // Without a working DES-EDE in OpenSSL every comparison below would be empty.
    const QByteArray cipher = opensslEde(QByteArray::fromHex("0123456789ABCDEFFEDCBA9876543210"),
        QByteArray::fromHex("0123456789ABCDEF"), true);
    QCOMPARE(cipher.toHex().toUpper(), QByteArray("1A4D672DCA6CB335"));
}

void tst_TripleDesCrossCheck::randomKeysAndBlocks()
{
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);

    for (int round = 0; round < 400; ++round) {
        const QByteArray key = randomBytes(random, 16);
        const int blocks = 1 + random.bounded(6);
        const QByteArray plain = randomBytes(random, 8 * blocks);
        const QByteArray keyHex = key.toHex().toUpper();

        QByteArray data = plain;
        std::size_t length = 0;
        tripleDesEncrypt(reinterpret_cast<std::uint8_t *>(data.data()), std::size_t(data.size()), &length,
            keyHex.constData());
        QCOMPARE(length, std::size_t(plain.size()));
        const QByteArray expected = opensslEde(key, plain, true);
        if (data != expected)
            QFAIL(qPrintable(QString("key %1 plain %2: %3, OpenSSL %4")
                                 .arg(QString(keyHex), QString(plain.toHex()), QString(data.toHex()),
                                     QString(expected.toHex()))));

        tripleDesDecrypt(reinterpret_cast<std::uint8_t *>(data.data()), std::size_t(data.size()), &length,
            keyHex.constData());
        QCOMPARE(data, plain);
        QCOMPARE(opensslEde(key, expected, false), plain);
    }
}

void tst_TripleDesCrossCheck::workingKey_data()
{
    QTest::addColumn<QByteArray>("diversifier");

    QTest::newRow("digits and letters") << QByteArray("0123456789ABCDEF");
    QTest::newRow("lower case") << QByteArray("a1b2c3d4e5f60789");
    QTest::newRow("non-hexadecimal character") << QByteArray("12345678ZZ345678");
    QTest::newRow("all zero") << QByteArray("0000000000000000");
    QTest::newRow("all F") << QByteArray("FFFFFFFFFFFFFFFF");
    QTest::newRow("longer than 16") << QByteArray("9876543210FEDCBA0011");
    QTest::newRow("shorter than 16") << QByteArray("4A5B");
}

void tst_TripleDesCrossCheck::workingKey()
{
    QFETCH(QByteArray, diversifier);
    const QByteArray expected = expectedWorkingKey(diversifier);
    QCOMPARE(expected.size(), 32);
    QCOMPARE(derive(diversifier), expected);
}

void tst_TripleDesCrossCheck::encodeInfoRecord_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("secondVariant");
    QTest::addColumn<QByteArray>("record");

    QTest::newRow("empty") << QByteArray() << false << QByteArray("00");
    QTest::newRow("six bytes") << QByteArray("abcdef") << false << QByteArray("06abcdef");
    QTest::newRow("seven bytes") << QByteArray("abcdefg") << false << QByteArray("07abcdefg");
    QTest::newRow("second variant") << QByteArray("abcd") << true << QByteArray("0004abcd");
    const QByteArray long300 = QByteArray("0123456789").repeated(30);
    QTest::newRow("300 bytes keep 44") << long300 << false << "2C" + long300.left(44);
    QTest::newRow("300 bytes keep 44, second variant") << long300 << true << "002C" + long300.left(44);
    const QByteArray bytes255 = QByteArray("\x80\xFEzq", 4).repeated(64).left(255);
    QTest::newRow("255 high bytes") << bytes255 << false << "FF" + bytes255;
}

void tst_TripleDesCrossCheck::encodeInfoRecord()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, secondVariant);
    QFETCH(QByteArray, record);
    const QByteArray diversifier("3F2A0B9C8D7E6F51");

    QByteArray padded = record;
    while (padded.size() % 8 != 0)
        padded.append('\0');
    const QByteArray key = QByteArray::fromHex(expectedWorkingKey(diversifier));
    const QByteArray cipher = opensslEde(key, padded, true);
    QVERIFY(!cipher.isEmpty());
    const QByteArray count
        = QByteArray::number(cipher.size(), 16).toUpper().rightJustified(secondVariant ? 4 : 2, '0');

    char out[PELLIX_ENCODEINFO2_OUT_SIZE];
    if (secondVariant)
        encodeInfo2(text.constData(), out, diversifier.constData());
    else
        encodeInfo(text.constData(), out, diversifier.constData());
    QCOMPARE(QByteArray(out), count + cipher.toHex().toUpper());
}

QTEST_GUILESS_MAIN(tst_TripleDesCrossCheck)
#include "tst_tripledescrosscheck.moc"
