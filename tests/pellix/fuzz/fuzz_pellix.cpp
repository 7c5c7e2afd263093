// libFuzzer target: the decoders and asc2Str on arbitrary input, and encode/decode round
// trips. Every buffer is an exact-size heap block so that AddressSanitizer sees any byte
// read or written past its end.
#include "pellix.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

std::unique_ptr<char[]> terminatedCopy(const std::uint8_t *data, std::size_t size)
{
    std::unique_ptr<char[]> copy(new char[size + 1]);
    std::memcpy(copy.get(), data, size);
    copy[size] = '\0';
    return copy;
}

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// The output ends within its block and with `suffix`.
void requireResult(const char *out, std::size_t size, const char *suffix)
{
    const void *zero = std::memchr(out, '\0', size);
    require(zero != nullptr);
    const std::size_t length = std::size_t(static_cast<const char *>(zero) - out);
    const std::size_t suffixLength = std::strlen(suffix);
    require(length >= suffixLength && std::memcmp(out + length - suffixLength, suffix, suffixLength) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const unsigned mode = data[0] % 5;
    std::size_t diversifierLength = data[1] % 24;
    data += 2;
    size -= 2;
    if (diversifierLength > size)
        diversifierLength = size;
    auto diversifier = terminatedCopy(data, diversifierLength);
    auto input = terminatedCopy(data + diversifierLength, size - diversifierLength);
    const std::size_t inputLength = std::strlen(input.get());

    switch (mode) {
    case 0:
    case 1: {
        // The output is bounded by what the input can decipher to.
        const std::size_t bytes
            = (inputLength < PELLIX_DECODE_IN_MAX ? inputLength : PELLIX_DECODE_IN_MAX) / 2;
        const std::size_t bound = (bytes + 7) / 8 * 8 + 3;
        const std::size_t outSize = bound < PELLIX_DECODE_OUT_SIZE ? bound : PELLIX_DECODE_OUT_SIZE;
        std::unique_ptr<char[]> out(new char[outSize]);
        (mode == 0 ? decodeInfo : decodeInfo2)(input.get(), out.get(), diversifier.get());
        requireResult(out.get(), outSize, mode == 0 ? "#1" : "#2");
        break;
    }
    case 2: {
        std::unique_ptr<char[]> out(new char[PELLIX_ASC2STR_OUT_SIZE]);
        require(asc2Str(input.get(), out.get()) == 0);
        requireResult(out.get(), PELLIX_ASC2STR_OUT_SIZE, ",1");
        break;
    }
    case 3:
    case 4: {
        // Whatever the text, decoding the record under the same diversifier gives it back.
        const bool second = mode == 4;
        const std::size_t recordSize = second ? PELLIX_ENCODEINFO2_OUT_SIZE : PELLIX_ENCODEINFO_OUT_SIZE;
        std::unique_ptr<char[]> record(new char[recordSize]);
        (second ? encodeInfo2 : encodeInfo)(input.get(), record.get(), diversifier.get());
        requireResult(record.get(), recordSize, "");
        const std::size_t recordLength = std::strlen(record.get());
        const std::size_t used = inputLength % 256;
        const std::size_t count = (used + (second ? 4 : 2) + 7) / 8 * 8;
        require(recordLength > 2 * count);
        const char *hex = record.get() + recordLength - 2 * count;

        std::unique_ptr<char[]> out(new char[PELLIX_DECODE_OUT_SIZE]);
        (second ? decodeInfo2 : decodeInfo)(hex, out.get(), diversifier.get());
        require(std::strlen(out.get()) == used + 2);
        require(std::memcmp(out.get(), input.get(), used) == 0);
        require(std::memcmp(out.get() + used, second ? "#2" : "#1", 2) == 0);
        break;
    }
    }
    return 0;
}
