// The six exported functions of the library.
#include "pellix.h"

#include "DesCore.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

using namespace pellix;

namespace {

// Every record fits these work areas: at most 4 + 255 bytes enciphered, at most 504 bytes
// deciphered.
constexpr std::size_t kWorkSize = 1024;
constexpr std::size_t kDecodeBytesMax = PELLIX_DECODE_IN_MAX / 2;
constexpr std::size_t kAsc2StrBytesMax = PELLIX_ASC2STR_IN_MAX / 2;

static_assert(kDecodeBytesMax % kDesBlockSize == 0, "the decoders read whole blocks");

std::size_t boundedLength(const char *text, std::size_t limit)
{
    std::size_t length = 0;
    while (length < limit && text[length] != '\0')
        ++length;
    return length;
}

// fieldWidth is 2 for the first record variant and 4 for the second.
void encodeRecord(
    const char *text, char *out, const char *diversifier, unsigned fieldWidth, std::size_t outSize)
{
    char key[kKeyHexSize];
    deriveWorkingKey(key, diversifier);

    const std::size_t n = std::strlen(text) % 256;
    std::uint8_t record[kWorkSize] = {};
    char field[5];
    std::snprintf(field, sizeof field, fieldWidth == 2 ? "%02X" : "%04X", unsigned(n));
    std::memcpy(record, field, fieldWidth);
    std::memcpy(record + fieldWidth, text, n);

    std::size_t count = 0;
    tripleDesEncrypt(record, n + fieldWidth, &count, key);
    char hex[kWorkSize];
    bytesToHex(hex, record, count);

    // The count is a minimum width: from 256 enciphered bytes on "%02X" gives three digits.
    std::snprintf(out, outSize, fieldWidth == 2 ? "%02X%s" : "%04X%s", unsigned(count), hex);

    wipe(key, sizeof key);
    wipe(record, sizeof record);
}

void decodeRecord(
    const char *cipherHex, char *out, const char *diversifier, unsigned fieldWidth, char variant)
{
    char key[kKeyHexSize];
    deriveWorkingKey(key, diversifier);

    // An odd last character is ignored; anything past the limit is not read.
    const std::size_t byteCount = boundedLength(cipherHex, PELLIX_DECODE_IN_MAX) / 2;
    std::uint8_t record[kDecodeBytesMax + kDesBlockSize + 1] = {};
    hexToBytes(record, cipherHex, byteCount);
    std::size_t padded = 0;
    tripleDesDecrypt(record, byteCount, &padded, key);

    char field[5] = {};
    std::memcpy(field, record, fieldWidth);
    char *end = nullptr;
    unsigned long length = std::strtoul(field, &end, 16);
    if (end == field)
        length = 0;
    // A length field that claims more than was deciphered (noise, a wrong diversifier) is cut
    // to the data that is there.
    const std::size_t available = padded > fieldWidth ? padded - fieldWidth : 0;
    if (length > available)
        length = available;

    // The text ends at its first zero byte; "#" and the variant digit follow it.
    const std::uint8_t *text = record + fieldWidth;
    const void *zero = std::memchr(text, 0, length);
    const std::size_t textLength
        = zero ? std::size_t(static_cast<const std::uint8_t *>(zero) - text) : length;
    std::memcpy(out, text, textLength);
    out[textLength] = '#';
    out[textLength + 1] = variant;
    out[textLength + 2] = '\0';

    wipe(key, sizeof key);
    wipe(record, sizeof record);
}

} // namespace

extern "C" {

PELLIX_API int PELLIX_CALL encodeInfo(const char *text, char *out, const char *diversifier)
{
    if (text && out && diversifier)
        encodeRecord(text, out, diversifier, 2, PELLIX_ENCODEINFO_OUT_SIZE);
    return 0;
}

PELLIX_API int PELLIX_CALL encodeInfo2(const char *text, char *out, const char *diversifier)
{
    if (text && out && diversifier)
        encodeRecord(text, out, diversifier, 4, PELLIX_ENCODEINFO2_OUT_SIZE);
    return 0;
}

PELLIX_API int PELLIX_CALL decodeInfo(const char *cipherHex, char *out, const char *diversifier)
{
    if (cipherHex && out && diversifier)
        decodeRecord(cipherHex, out, diversifier, 2, '1');
    return 0;
}

PELLIX_API int PELLIX_CALL decodeInfo2(const char *cipherHex, char *out, const char *diversifier)
{
    if (cipherHex && out && diversifier)
        decodeRecord(cipherHex, out, diversifier, 4, '2');
    return 0;
}

PELLIX_API int PELLIX_CALL asc2Str(const char *hex, char *out)
{
    if (!hex || !out)
        return 0;
    const std::size_t byteCount = boundedLength(hex, PELLIX_ASC2STR_IN_MAX) / 2;
    std::uint8_t bytes[kAsc2StrBytesMax + 1] = {};
    hexToBytes(bytes, hex, byteCount);
    // The bytes end at the first zero; ",1" follows them.
    const std::size_t length = std::strlen(reinterpret_cast<const char *>(bytes));
    std::memcpy(out, bytes, length);
    std::memcpy(out + length, ",1", 3);
    return 0;
}

PELLIX_API int PELLIX_CALL str2Asc(const char *text, char *out)
{
    if (!text || !out)
        return 0;
    const std::size_t length = boundedLength(text, PELLIX_STR2ASC_IN_MAX);
    bytesToHex(out, reinterpret_cast<const std::uint8_t *>(text), length);
    return int(length);
}

} // extern "C"

#if defined(_WIN32) && !defined(_WIN64)
// Callers declare these with the Windows API convention; the definitions must keep to it.
static_assert(
    std::is_same<decltype(&encodeInfo), int(__stdcall *)(const char *, char *, const char *)>::value,
    "the cipher functions use __stdcall");
static_assert(std::is_same<decltype(&asc2Str), int(__stdcall *)(const char *, char *)>::value,
    "the text functions use __stdcall");
#endif
