// Conversions between bytes and hexadecimal text.
#include "DesCore.h"

namespace pellix {
namespace {

constexpr char kUpperDigits[] = "0123456789ABCDEF";

std::uint8_t hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return std::uint8_t(c - '0');
    if (c >= 'A' && c <= 'F')
        return std::uint8_t(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return std::uint8_t(c - 'a' + 10);
    return 0;
}

// The key parser's digit rule: a blank is 0; anything with bit 0x10 clear (letters) moves
// up by 9 so that "A".."F" and "a".."f" land on 10..15; the low four bits are the digit.
std::uint8_t keyDigit(char c)
{
    unsigned value = static_cast<unsigned char>(c);
    if (c == ' ')
        return 0;
    if ((value & 0x10u) == 0 && value != 0)
        value += 9;
    return std::uint8_t(value & 0x0Fu);
}

} // namespace

void hexToBytes(std::uint8_t *bytes, const char *text, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = std::uint8_t((hexValue(text[2 * i]) << 4) | hexValue(text[2 * i + 1]));
    bytes[count] = 0;
}

void bytesToHex(char *text, const std::uint8_t *bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        text[2 * i] = kUpperDigits[bytes[i] >> 4];
        text[2 * i + 1] = kUpperDigits[bytes[i] & 0x0F];
    }
    text[2 * count] = '\0';
}

void keyTextToBytes(std::uint8_t *bytes, const char *text, std::size_t length)
{
    if (length == 0)
        return;
    const std::size_t count = (length + 1) / 2;
    // An odd length reads as if a "0" stood in front, so digit i lands at position i + shift.
    const std::size_t shift = length % 2;
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const std::size_t position = i + shift;
        const std::uint8_t digit = keyDigit(text[i]);
        if (position % 2 == 0)
            bytes[position / 2] |= std::uint8_t(digit << 4);
        else
            bytes[position / 2] |= digit;
    }
}

} // namespace pellix
