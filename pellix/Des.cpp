// Single-block DES as published in FIPS 46-3. Bits are numbered from the most significant
// bit of byte 0; the tables below hold the standard's positions counted from 0.
#include "DesCore.h"

namespace pellix {
namespace {

// clang-format off
constexpr std::uint8_t kInitialPermutation[64] = {
    57, 49, 41, 33, 25, 17, 9, 1,
    59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5,
    63, 55, 47, 39, 31, 23, 15, 7,
    56, 48, 40, 32, 24, 16, 8, 0,
    58, 50, 42, 34, 26, 18, 10, 2,
    60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6,
};
constexpr std::uint8_t kFinalPermutation[64] = {
    39, 7, 47, 15, 55, 23, 63, 31,
    38, 6, 46, 14, 54, 22, 62, 30,
    37, 5, 45, 13, 53, 21, 61, 29,
    36, 4, 44, 12, 52, 20, 60, 28,
    35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26,
    33, 1, 41, 9, 49, 17, 57, 25,
    32, 0, 40, 8, 48, 16, 56, 24,
};
constexpr std::uint8_t kExpansion[48] = {
    31, 0, 1, 2, 3, 4,
    3, 4, 5, 6, 7, 8,
    7, 8, 9, 10, 11, 12,
    11, 12, 13, 14, 15, 16,
    15, 16, 17, 18, 19, 20,
    19, 20, 21, 22, 23, 24,
    23, 24, 25, 26, 27, 28,
    27, 28, 29, 30, 31, 0,
};
constexpr std::uint8_t kPermutation[32] = {
    15, 6, 19, 20, 28, 11, 27, 16,
    0, 14, 22, 25, 4, 17, 30, 9,
    1, 7, 23, 13, 31, 26, 2, 8,
    18, 12, 29, 5, 21, 10, 3, 24,
};
constexpr std::uint8_t kPermutedChoice1[56] = {
    56, 48, 40, 32, 24, 16, 8,
    0, 57, 49, 41, 33, 25, 17,
    9, 1, 58, 50, 42, 34, 26,
    18, 10, 2, 59, 51, 43, 35,
    62, 54, 46, 38, 30, 22, 14,
    6, 61, 53, 45, 37, 29, 21,
    13, 5, 60, 52, 44, 36, 28,
    20, 12, 4, 27, 19, 11, 3,
};
constexpr std::uint8_t kPermutedChoice2[48] = {
    13, 16, 10, 23, 0, 4,
    2, 27, 14, 5, 20, 9,
    22, 18, 11, 3, 25, 7,
    15, 6, 26, 19, 12, 1,
    40, 51, 30, 36, 46, 54,
    29, 39, 50, 44, 32, 47,
    43, 48, 38, 55, 33, 52,
    45, 41, 49, 35, 28, 31,
};

constexpr std::uint8_t kSBoxes[8][64] = {
    {14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7,
     0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8,
     4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0,
     15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13},
    {15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10,
     3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5,
     0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15,
     13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9},
    {10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8,
     13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1,
     13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7,
     1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12},
    {7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15,
     13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9,
     10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4,
     3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14},
    {2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9,
     14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6,
     4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14,
     11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3},
    {12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11,
     10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8,
     9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6,
     4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13},
    {4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1,
     13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6,
     1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2,
     6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12},
    {13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7,
     1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2,
     7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8,
     2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}
};
// clang-format on

constexpr std::uint8_t kLeftShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// Selects bit i (counted from 0) inside its byte, most significant bit first.
constexpr std::uint8_t kBitMask[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

// Blocks and keys are handled as big-endian integers: bit 0 of the standard is the most
// significant of `width` bits.
std::uint64_t loadBlock(const std::uint8_t bytes[8])
{
    std::uint64_t value = 0;
    for (unsigned i = 0; i < 8; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

void storeBlock(std::uint64_t value, std::uint8_t bytes[8])
{
    for (unsigned i = 0; i < 8; ++i)
        bytes[i] = std::uint8_t(value >> (56 - 8 * i));
}

// Output bit i is input bit table[i], for the `count` entries of the table.
std::uint64_t permute(std::uint64_t in, unsigned inWidth, const std::uint8_t *table, unsigned count)
{
    std::uint64_t out = 0;
    for (unsigned i = 0; i < count; ++i)
        out = (out << 1) | ((in >> (inWidth - 1 - table[i])) & 1u);
    return out;
}

// f(R, K) = P(S(E(R) xor K)).
std::uint32_t feistel(std::uint32_t right, std::uint64_t roundKey)
{
    const std::uint64_t mixed = permute(right, 32, kExpansion, 48) ^ roundKey;
    std::uint32_t substituted = 0;
    for (unsigned box = 0; box < 8; ++box) {
        const unsigned group = unsigned(mixed >> (42 - 6 * box)) & 0x3Fu;
        // Row from the outer two bits, column from the inner four.
        const unsigned row = ((group >> 4) & 2u) | (group & 1u);
        const unsigned column = (group >> 1) & 0x0Fu;
        substituted = (substituted << 4) | kSBoxes[box][row * 16 + column];
    }
    return std::uint32_t(permute(substituted, 32, kPermutation, 32));
}

void runBlock(std::uint8_t block[8], const DesRoundKeys &keys, bool decrypt)
{
    const std::uint64_t permuted = permute(loadBlock(block), 64, kInitialPermutation, 64);
    std::uint32_t left = std::uint32_t(permuted >> 32);
    std::uint32_t right = std::uint32_t(permuted);
    for (unsigned round = 0; round < 16; ++round) {
        const std::uint32_t next = left ^ feistel(right, keys.round[decrypt ? 15 - round : round]);
        left = right;
        right = next;
    }
    // The output of round 16 is R16 L16.
    const std::uint64_t preOutput = (std::uint64_t(right) << 32) | left;
    storeBlock(permute(preOutput, 64, kFinalPermutation, 64), block);
}

} // namespace

void desKeySchedule(const std::uint8_t key[8], DesRoundKeys &keys)
{
    // PC-1 drops the parity bits (the last bit of every byte) and splits the rest into C and D.
    std::uint8_t selected[7] = {};
    for (unsigned i = 0; i < 56; ++i) {
        const unsigned from = kPermutedChoice1[i];
        if (key[from >> 3] & kBitMask[from & 7])
            selected[i >> 3] |= kBitMask[i & 7];
    }
    std::uint64_t cd = 0;
    for (unsigned i = 0; i < 7; ++i)
        cd = (cd << 8) | selected[i];
    std::uint32_t c = std::uint32_t(cd >> 28) & 0x0FFFFFFFu;
    std::uint32_t d = std::uint32_t(cd) & 0x0FFFFFFFu;

    for (unsigned round = 0; round < 16; ++round) {
        const unsigned shift = kLeftShifts[round];
        c = ((c << shift) | (c >> (28 - shift))) & 0x0FFFFFFFu;
        d = ((d << shift) | (d >> (28 - shift))) & 0x0FFFFFFFu;
        keys.round[round] = permute((std::uint64_t(c) << 28) | d, 56, kPermutedChoice2, 48);
    }
    wipe(selected, sizeof selected);
}

void desEncryptBlock(std::uint8_t block[8], const DesRoundKeys &keys)
{
    runBlock(block, keys, false);
}

void desDecryptBlock(std::uint8_t block[8], const DesRoundKeys &keys)
{
    runBlock(block, keys, true);
}

void desEncryptBlock(std::uint8_t block[8], const std::uint8_t key[8])
{
    DesRoundKeys keys;
    desKeySchedule(key, keys);
    runBlock(block, keys, false);
    wipe(&keys, sizeof keys);
}

void desDecryptBlock(std::uint8_t block[8], const std::uint8_t key[8])
{
    DesRoundKeys keys;
    desKeySchedule(key, keys);
    runBlock(block, keys, true);
    wipe(&keys, sizeof keys);
}

void wipe(void *data, std::size_t size)
{
    // Written through a volatile pointer so the compiler keeps the stores.
    volatile std::uint8_t *p = static_cast<volatile std::uint8_t *>(data);
    while (size--)
        *p++ = 0;
}

} // namespace pellix
