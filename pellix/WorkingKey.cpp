// Derivation of the per-call working key from the two built-in keys and a diversifier.
#include "DesCore.h"

#include <cstring>

namespace pellix {
namespace {

// Built-in keys, only ever used through the derivation below.
constexpr char kKey1[] = "C84E1A7B09D36F25E7B1C04A92D5F836";
constexpr char kKey2[] = "3B96D0E57A14C2F8D6E3A09B1C75F42E";

// Upper-case digits straight from the half-bytes.
void halfBytesToHex(char *text, const std::uint8_t *bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t high = bytes[i] >> 4;
        const std::uint8_t low = bytes[i] & 0x0F;
        text[2 * i] = char(high < 10 ? '0' + high : 'A' + high - 10);
        text[2 * i + 1] = char(low < 10 ? '0' + low : 'A' + low - 10);
    }
    text[2 * count] = '\0';
}

} // namespace

void deriveWorkingKey(char workingKeyHex[kKeyHexSize], const char *diversifier)
{
    // Master key: key 2 enciphered as two blocks under key 1.
    std::uint8_t master[kTripleDesKeySize + 1] = {};
    keyTextToBytes(master, kKey2, 2 * kTripleDesKeySize);
    std::size_t length = 0;
    tripleDesEncrypt(master, kTripleDesKeySize, &length, kKey1);
    char masterHex[kKeyHexSize];
    halfBytesToHex(masterHex, master, kTripleDesKeySize);

    // The first 16 characters of the diversifier; a shorter one is completed with "0" so
    // that nothing past its end is read.
    char digits[kDiversifierLength + 1];
    std::memset(digits, '0', kDiversifierLength);
    digits[kDiversifierLength] = '\0';
    for (std::size_t i = 0; diversifier && i < kDiversifierLength && diversifier[i] != '\0'; ++i)
        digits[i] = diversifier[i];

    // D followed by its complement, both halves enciphered under the master key.
    std::uint8_t block[kTripleDesKeySize + 1];
    hexToBytes(block, digits, kDesBlockSize);
    for (std::size_t i = 0; i < kDesBlockSize; ++i)
        block[kDesBlockSize + i] = std::uint8_t(~block[i]);
    tripleDesEncrypt(block, kTripleDesKeySize, &length, masterHex);
    bytesToHex(workingKeyHex, block, kTripleDesKeySize);

    wipe(master, sizeof master);
    wipe(masterHex, sizeof masterHex);
    wipe(digits, sizeof digits);
    wipe(block, sizeof block);
}

} // namespace pellix
