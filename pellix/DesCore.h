// The cipher core of Pellix: single DES, two-key triple DES (EDE, ECB, zero padding),
// the hexadecimal conversions and the working-key derivation. Nothing here is exported
// from the shared library; the tests link the core as a static library.
#ifndef PELLIX_DESCORE_H
#define PELLIX_DESCORE_H

#include <cstddef>
#include <cstdint>

namespace pellix {

constexpr std::size_t kDesBlockSize = 8;
constexpr std::size_t kTripleDesKeySize = 16;
// 32 hexadecimal characters and a terminating zero.
constexpr std::size_t kKeyHexSize = 2 * kTripleDesKeySize + 1;
// Characters of the diversifier that take part in the derivation.
constexpr std::size_t kDiversifierLength = 16;

// The 16 round keys of one DES key, 48 bits each (the low bits of every entry). Every caller
// holds its own schedule, so concurrent calls never share cipher state.
struct DesRoundKeys
{
    std::uint64_t round[16];
};

// Fills the round keys of an 8-byte key (PC-1, rotations, PC-2). Parity bits are ignored.
void desKeySchedule(const std::uint8_t key[8], DesRoundKeys &keys);

// One block, changed in place, under an already computed schedule.
void desEncryptBlock(std::uint8_t block[8], const DesRoundKeys &keys);
void desDecryptBlock(std::uint8_t block[8], const DesRoundKeys &keys);

// One block, changed in place, under an 8-byte key (the schedule is computed for the call).
void desEncryptBlock(std::uint8_t block[8], const std::uint8_t key[8]);
void desDecryptBlock(std::uint8_t block[8], const std::uint8_t key[8]);

// Pads `data` with zero bytes from `length` up to the next multiple of 8, stores that padded
// length in `outLength` and enciphers (or deciphers) every block with two-key triple DES
// under the key parsed from `keyHex` (32 hexadecimal characters: K1 then K2). `data` must
// have room for the padded length; nothing beyond it is touched.
void tripleDesEncrypt(std::uint8_t *data, std::size_t length, std::size_t *outLength, const char *keyHex);
void tripleDesDecrypt(std::uint8_t *data, std::size_t length, std::size_t *outLength, const char *keyHex);

// Converts 2 * count characters into count bytes and writes a zero byte after them, so
// `bytes` needs count + 1 bytes. Characters that are not hexadecimal digits count as 0.
void hexToBytes(std::uint8_t *bytes, const char *text, std::size_t count);

// Writes 2 * count upper-case hexadecimal characters and a terminating zero.
void bytesToHex(char *text, const std::uint8_t *bytes, std::size_t count);

// The tolerant key parser: `length` characters packed two digits to a byte, high half first;
// an odd length reads as if it had a leading "0". Writes (length + 1) / 2 bytes.
void keyTextToBytes(std::uint8_t *bytes, const char *text, std::size_t length);

// The working key of every exported cipher call: the master key (key 2 enciphered under
// key 1) enciphers the diversification block and its complement. Only the first 16
// characters of `diversifier` count; missing characters (or a null pointer) count as "0".
// Writes 32 upper-case hexadecimal characters and a terminating zero.
void deriveWorkingKey(char workingKeyHex[kKeyHexSize], const char *diversifier);

// Clears key material so that it does not outlive the call that used it.
void wipe(void *data, std::size_t size);

} // namespace pellix

#endif // PELLIX_DESCORE_H
