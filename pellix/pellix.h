/*
 * Pellix: short text records enciphered with two-key triple DES as hexadecimal text,
 * and plain conversions between text and hexadecimal.
 *
 * Every function takes zero-terminated byte strings and writes a zero-terminated result
 * into a buffer that belongs to the caller; nothing is allocated for the caller to free.
 * Texts are bytes in whatever code page the caller uses. The sizes below are the largest
 * results, terminating zero included; inputs beyond the stated limits are not an error:
 * only the part that fits is used.
 *
 * A call that is given a null pointer writes nothing and returns 0.
 *
 * Every call keeps its cipher state on its own stack, so threads may call into the
 * library at the same time.
 *
 * On Windows the functions use the calling convention of the Windows API (__stdcall) and
 * are exported under these undecorated names, on 32-bit Windows too.
 */
#ifndef PELLIX_H
#define PELLIX_H

#if defined(_WIN32)
#define PELLIX_CALL __stdcall
#if defined(PELLIX_BUILDING_LIBRARY)
#define PELLIX_API
#else
#define PELLIX_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define PELLIX_CALL
#define PELLIX_API __attribute__((visibility("default")))
#else
#define PELLIX_CALL
#define PELLIX_API
#endif

/* encodeInfo, encodeInfo2: only the first (length modulo 256) bytes of the text are used. */
#define PELLIX_ENCODE_TEXT_MAX 255
/* Output of encodeInfo: a two-digit count (three digits from 256 enciphered bytes on)
 * and the enciphered record as hexadecimal. */
#define PELLIX_ENCODEINFO_OUT_SIZE 532
/* Output of encodeInfo2: a four-digit count and the enciphered record as hexadecimal. */
#define PELLIX_ENCODEINFO2_OUT_SIZE 533
/* decodeInfo, decodeInfo2: at most this many hexadecimal characters are read. */
#define PELLIX_DECODE_IN_MAX 1008
/* Output of decodeInfo, decodeInfo2: the text plus 3 bytes ("#1" or "#2" and the zero);
 * never more than half the input length rounded up to a multiple of 8, plus 1, and never
 * more than this. */
#define PELLIX_DECODE_OUT_SIZE 505
/* asc2Str: at most this many hexadecimal characters are read. */
#define PELLIX_ASC2STR_IN_MAX 198
/* Output of asc2Str: the decoded bytes, "," and "1". */
#define PELLIX_ASC2STR_OUT_SIZE 102
/* str2Asc: at most this many bytes of text are converted. */
#define PELLIX_STR2ASC_IN_MAX 99
/* Output of str2Asc: two upper-case hexadecimal digits per byte. */
#define PELLIX_STR2ASC_OUT_SIZE 199

#ifdef __cplusplus
extern "C" {
#endif

/* Enciphers `text` under the key derived from `diversifier` (hexadecimal; its first 16
 * characters count, missing ones count as "0"). Writes the count of enciphered bytes as
 * "%02X" and the enciphered bytes as upper-case hexadecimal. Returns 0. */
PELLIX_API int PELLIX_CALL encodeInfo(const char *text, char *out, const char *diversifier);

/* As encodeInfo, with a four-character length field in the record and a "%04X" count. */
PELLIX_API int PELLIX_CALL encodeInfo2(const char *text, char *out, const char *diversifier);

/* Deciphers the hexadecimal cipher text of an encodeInfo record (without its count field)
 * and writes the text followed by "#1". A wrong diversifier or a damaged record gives a
 * meaningless text; nothing reports it. Returns 0. */
PELLIX_API int PELLIX_CALL decodeInfo(const char *cipherHex, char *out, const char *diversifier);

/* As decodeInfo for encodeInfo2 records; writes the text followed by "#2". Returns 0. */
PELLIX_API int PELLIX_CALL decodeInfo2(const char *cipherHex, char *out, const char *diversifier);

/* Converts hexadecimal text into bytes and writes them followed by ",1". Characters that
 * are not hexadecimal digits count as 0; the result ends at its first zero byte. Returns 0. */
PELLIX_API int PELLIX_CALL asc2Str(const char *hex, char *out);

/* Writes the bytes of `text` as upper-case hexadecimal. Returns the number of bytes
 * converted. */
PELLIX_API int PELLIX_CALL str2Asc(const char *text, char *out);

/* Pointer types for callers that load the library at run time. */
typedef int(PELLIX_CALL *PellixCipherFunction)(const char *, char *, const char *);
typedef int(PELLIX_CALL *PellixTextFunction)(const char *, char *);

#ifdef __cplusplus
}
#endif

#endif /* PELLIX_H */
