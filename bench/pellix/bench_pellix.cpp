// Calls per second of encodeInfo and decodeInfo on a 100-byte text, beside OpenSSL's
// DES-EDE-ECB enciphering the same 104 record bytes in the same run.
#include "pellix.h"

#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// Runs `call` repeatedly for about `seconds` and returns the calls per second.
template<typename Call> double callsPerSecond(Call call, double seconds = 1.0)
{
    long calls = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
        for (int i = 0; i < 50; ++i)
            call();
        calls += 50;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds);
    return double(calls) / elapsed;
}

volatile unsigned char g_sink;

} // namespace

int main()
{
    const char *diversifier = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < 100; ++i)
        text.push_back(char('A' + i % 26));

    char record[PELLIX_ENCODEINFO_OUT_SIZE];
    char decoded[PELLIX_DECODE_OUT_SIZE];
    encodeInfo(text.c_str(), record, diversifier);
    const char *cipherHex = record + 2;
    decodeInfo(cipherHex, decoded, diversifier);
    if (std::string(decoded) != text + "#1") {
        std::fprintf(stderr, "round trip failed: %s\n", decoded);
        return 1;
    }

    // The same 104 bytes that encodeInfo enciphers: the length field, the text, zero padding.
    unsigned char plain[104] = {};
    std::memcpy(plain, "64", 2);
    std::memcpy(plain + 2, text.data(), 100);
    unsigned char key[16];
    for (int i = 0; i < 16; ++i)
        key[i] = (unsigned char)(i * 17 + 3);
    unsigned char cipher[104 + 16];

    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    auto opensslOnce = [&](bool setUpKey) {
        int written = 0;
        if (setUpKey)
            EVP_EncryptInit_ex(ctx, EVP_des_ede_ecb(), nullptr, key, nullptr);
        else
            EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, nullptr);
        EVP_CIPHER_CTX_set_padding(ctx, 0);
        EVP_EncryptUpdate(ctx, cipher, &written, plain, int(sizeof plain));
        g_sink = cipher[0];
    };
    opensslOnce(true);

    const double encodeRate = callsPerSecond([&] {
        encodeInfo(text.c_str(), record, diversifier);
        g_sink = (unsigned char)record[5];
    });
    const double decodeRate = callsPerSecond([&] {
        decodeInfo(cipherHex, decoded, diversifier);
        g_sink = (unsigned char)decoded[0];
    });
    const double opensslKeyed = callsPerSecond([&] { opensslOnce(true); });
    const double opensslReused = callsPerSecond([&] { opensslOnce(false); });
    EVP_CIPHER_CTX_free(ctx);

    std::printf("Pellix, 100-byte text (104 bytes enciphered, working key derived per call)\n");
    std::printf("  encodeInfo                          %12.0f calls/s  %8.2f us/call\n", encodeRate,
        1e6 / encodeRate);
    std::printf("  decodeInfo                          %12.0f calls/s  %8.2f us/call\n", decodeRate,
        1e6 / decodeRate);
    std::printf("OpenSSL DES-EDE-ECB, the same 104 bytes\n");
    std::printf("  key set up per call                 %12.0f calls/s  %8.2f us/call\n", opensslKeyed,
        1e6 / opensslKeyed);
    std::printf("  key set up once                     %12.0f calls/s  %8.2f us/call\n", opensslReused,
        1e6 / opensslReused);
    std::printf("encodeInfo takes %.1f times as long as OpenSSL with a key set up per call\n",
        opensslKeyed / encodeRate);
    return 0;
}
