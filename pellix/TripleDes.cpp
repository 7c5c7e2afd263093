// Two-key triple DES (keying option 2) in ECB mode with zero padding.
#include "DesCore.h"

#include <cstring>

namespace pellix {
namespace {

struct TripleDesKeys
{
    DesRoundKeys k1;
    DesRoundKeys k2;
};

std::size_t boundedLength(const char *text, std::size_t limit)
{
    std::size_t length = 0;
    while (text && length < limit && text[length] != '\0')
        ++length;
    return length;
}

void scheduleFromHex(const char *keyHex, TripleDesKeys &keys)
{
    std::uint8_t key[kTripleDesKeySize] = {};
    keyTextToBytes(key, keyHex, boundedLength(keyHex, 2 * kTripleDesKeySize));
    desKeySchedule(key, keys.k1);
    desKeySchedule(key + 8, keys.k2);
    wipe(key, sizeof key);
}

std::size_t padToBlocks(std::uint8_t *data, std::size_t length)
{
    const std::size_t padded = (length + kDesBlockSize - 1) / kDesBlockSize * kDesBlockSize;
    // Only up to the padded length: the buffer need not hold a whole spare block.
    if (padded > length)
        std::memset(data + length, 0, padded - length);
    return padded;
}

} // namespace

namespace {

// EDE to encipher (E under K1, D under K2, E under K1), DED to decipher.
void tripleDes(
    std::uint8_t *data, std::size_t length, std::size_t *outLength, const char *keyHex, bool decrypt)
{
    if (!data)
        length = 0;
    const std::size_t padded = data ? padToBlocks(data, length) : 0;
    if (outLength)
        *outLength = padded;
    if (padded == 0)
        return;

    // The schedules live on this call's stack: concurrent callers share nothing.
    TripleDesKeys keys;
    scheduleFromHex(keyHex, keys);
    using BlockStep = void (*)(std::uint8_t[8], const DesRoundKeys &);
    const BlockStep encrypt = desEncryptBlock;
    const BlockStep decryptStep = desDecryptBlock;
    const BlockStep outer = decrypt ? decryptStep : encrypt;
    const BlockStep inner = decrypt ? encrypt : decryptStep;
    for (std::size_t offset = 0; offset < padded; offset += kDesBlockSize) {
        std::uint8_t *block = data + offset;
        outer(block, keys.k1);
        inner(block, keys.k2);
        outer(block, keys.k1);
    }
    wipe(&keys, sizeof keys);
}

} // namespace

void tripleDesEncrypt(std::uint8_t *data, std::size_t length, std::size_t *outLength, const char *keyHex)
{
    tripleDes(data, length, outLength, keyHex, false);
}

void tripleDesDecrypt(std::uint8_t *data, std::size_t length, std::size_t *outLength, const char *keyHex)
{
    tripleDes(data, length, outLength, keyHex, true);
}

} // namespace pellix
