// The CRC-16 of LAME tags and of the music after them (polynomial 0x8005, bit-reflected, no
// inversion). A frame copy runs it over every byte it writes, so it has a fast path: where the
// processor multiplies without carries (PCLMULQDQ), 64 bytes are folded per step as in Intel's
// "Fast CRC Computation for Generic Polynomials Using PCLMULQDQ Instruction". The 16-bit CRC
// is the 32-bit one of the polynomial times x^16, whose reflected register keeps the 16-bit
// register in its low half, so the paper's 32-bit reduction serves unchanged with constants
// of that polynomial. With 512-bit carry-less multiplication (VPCLMULQDQ) 256 bytes are
// folded per step, in sixteen lanes, before the 64-byte steps take over. Elsewhere, and for
// the last few bytes, eight tables fold eight bytes per step.
#include <cstddef>
#include <cstdint>

#include "engine/mp3/Mp3Reader.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#define CORVANE_CRC_CLMUL 1
#endif

namespace corvane {
namespace {

// table[k][b]: the CRC of byte b followed by k zero bytes; built by the compiler, so that no
// start of the program spends time on it.
struct Crc16Tables {
    uint16_t table[8][256]{};
    constexpr Crc16Tables() {
        constexpr uint16_t kReflectedPolynomial = 0xA001;
        for (int b = 0; b < 256; ++b) {
            uint16_t crc = static_cast<uint16_t>(b);
            for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ kReflectedPolynomial : crc >> 1;
            table[0][b] = crc;
        }
        for (int k = 1; k < 8; ++k) {
            for (int b = 0; b < 256; ++b) {
                const uint16_t prior = table[k - 1][b];
                table[k][b] = static_cast<uint16_t>((prior >> 8) ^ table[0][prior & 0xFF]);
            }
        }
    }
};

constexpr Crc16Tables kTables;

uint16_t TableCrc16(uint16_t crc, const uint8_t* data, size_t length) {
    const auto& t = kTables.table;
    while (length >= 8) {
        const uint8_t a = static_cast<uint8_t>(data[0] ^ crc);
        const uint8_t b = static_cast<uint8_t>(data[1] ^ (crc >> 8));
        crc = static_cast<uint16_t>(t[7][a] ^ t[6][b] ^ t[5][data[2]] ^ t[4][data[3]] ^ t[3][data[4]] ^
                                    t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]]);
        data += 8;
        length -= 8;
    }
    while (length-- > 0) crc = static_cast<uint16_t>((crc >> 8) ^ t[0][(crc ^ *data++) & 0xFF]);
    return crc;
}

#ifdef CORVANE_CRC_CLMUL

constexpr size_t kFoldBytes = 64;

// The bit-reflected constants of x^32 + 0x8005·x^16 (shifted left by one, as the paper has
// them): x^(4·128±32), x^(128±32) and x^64 modulo it, the polynomial, and x^64 divided by it.
constexpr long long kFold4[2] = {0x1b0c2, 0xbffa};
constexpr long long kFold1[2] = {0x1d0c2, 0x18cc2};
constexpr long long kFold64 = 0x1bc02;
constexpr long long kBarrett[2] = {0x14003, 0x1cfffbfff};

__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// The CRC of bytes whose first 64 are folded into x1..x4 (16 bytes each, in order), over
// those and the first length & ~15 bytes from data on.
__attribute__((target("pclmul,sse4.1"))) uint16_t FinishClmulCrc16(__m128i x1, __m128i x2, __m128i x3, __m128i x4,
                                                                   const uint8_t* data, size_t length) {
    auto load = [&data](size_t at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at)); };
    const __m128i fold4 = _mm_set_epi64x(kFold4[1], kFold4[0]);
    while (length >= kFoldBytes) {
        x1 = Fold(x1, fold4, load(0));
        x2 = Fold(x2, fold4, load(16));
        x3 = Fold(x3, fold4, load(32));
        x4 = Fold(x4, fold4, load(48));
        data += kFoldBytes;
        length -= kFoldBytes;
    }
    const __m128i fold1 = _mm_set_epi64x(kFold1[1], kFold1[0]);
    x1 = Fold(x1, fold1, x2);
    x1 = Fold(x1, fold1, x3);
    x1 = Fold(x1, fold1, x4);
    while (length >= 16) {
        x1 = Fold(x1, fold1, load(0));
        data += 16;
        length -= 16;
    }
    // 128 bits to 64, then the Barrett reduction to 32.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, fold1, 0x10));
    const __m128i shifted = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), _mm_set_epi64x(0, kFold64), 0x00), shifted);
    const __m128i barrett = _mm_set_epi64x(kBarrett[1], kBarrett[0]);
    __m128i x = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x10), low32);
    x1 = _mm_xor_si128(x1, _mm_clmulepi64_si128(x, barrett, 0x00));
    return static_cast<uint16_t>(_mm_extract_epi32(x1, 1));
}

// The CRC over the first length & ~15 bytes (length at least 64), carried on from crc.
__attribute__((target("pclmul,sse4.1"))) uint16_t ClmulCrc16(uint16_t crc, const uint8_t* data, size_t length) {
    auto load = [&data](size_t at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at)); };
    return FinishClmulCrc16(_mm_xor_si128(load(0), _mm_cvtsi32_si128(crc)), load(16), load(32), load(48),
                            data + kFoldBytes, length - kFoldBytes);
}

// Where the processor multiplies four pairs at once (VPCLMULQDQ on 512-bit registers), the
// same folding runs sixteen 16-byte lanes 256 bytes apart, four times the bytes per step; the
// lanes are then folded into the four of the loop above. x^(16·128±32) modulo the polynomial:
constexpr size_t kWideFoldBytes = 256;
constexpr long long kFold16[2] = {0x1bcc2, 0x1d99e};

#define CORVANE_WIDE_TARGET "avx512f,avx512vl,vpclmulqdq,pclmul,sse4.1"

__attribute__((target(CORVANE_WIDE_TARGET), always_inline)) inline __m512i WideLoad(const uint8_t* data) {
    return _mm512_loadu_si512(data);
}

__attribute__((target(CORVANE_WIDE_TARGET), always_inline)) inline __m512i WideFold(__m512i x, __m512i k,
                                                                                     __m512i next) {
    const __m512i low = _mm512_clmulepi64_epi128(x, k, 0x00);
    const __m512i high = _mm512_clmulepi64_epi128(x, k, 0x11);
    return _mm512_ternarylogic_epi64(low, high, next, 0x96);  // low ^ high ^ next
}

// The CRC over the first length & ~15 bytes (length at least 256), carried on from crc.
__attribute__((target(CORVANE_WIDE_TARGET))) uint16_t WideClmulCrc16(uint16_t crc, const uint8_t* data,
                                                                      size_t length) {
    __m512i z1 = _mm512_xor_si512(WideLoad(data), _mm512_inserti32x4(_mm512_setzero_si512(), _mm_cvtsi32_si128(crc), 0));
    __m512i z2 = WideLoad(data + 64);
    __m512i z3 = WideLoad(data + 128);
    __m512i z4 = WideLoad(data + 192);
    data += kWideFoldBytes;
    length -= kWideFoldBytes;
    const __m512i fold16 = _mm512_set4_epi64(kFold16[1], kFold16[0], kFold16[1], kFold16[0]);
    while (length >= kWideFoldBytes) {
        z1 = WideFold(z1, fold16, WideLoad(data));
        z2 = WideFold(z2, fold16, WideLoad(data + 64));
        z3 = WideFold(z3, fold16, WideLoad(data + 128));
        z4 = WideFold(z4, fold16, WideLoad(data + 192));
        data += kWideFoldBytes;
        length -= kWideFoldBytes;
    }
    const __m512i fold4 = _mm512_set4_epi64(kFold4[1], kFold4[0], kFold4[1], kFold4[0]);
    z1 = WideFold(z1, fold4, z2);
    z1 = WideFold(z1, fold4, z3);
    z1 = WideFold(z1, fold4, z4);
    alignas(64) uint8_t lanes[64];
    _mm512_store_si512(lanes, z1);
    auto lane = [&lanes](int i) { return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes + 16 * i)); };
    return FinishClmulCrc16(lane(0), lane(1), lane(2), lane(3), data, length);
}

// What the processor and the system offer the folding, asked on the first sum. The compiler's
// own check (__builtin_cpu_supports) runs a constructor in every process that asks the
// processor a dozen questions, each a trap to the hypervisor on a virtual machine, whether or
// not the process sums anything.
struct ClmulSupport {
    bool clmul = false;  // PCLMULQDQ and SSE4.1
    bool wide = false;   // and VPCLMULQDQ on 512-bit registers, which the system saves
};

ClmulSupport AskProcessor() {
    ClmulSupport support;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return support;
    support.clmul = (c & bit_PCLMUL) != 0 && (c & bit_SSE4_1) != 0;
    if (!support.clmul || (c & bit_OSXSAVE) == 0 || __get_cpuid_max(0, nullptr) < 7) return support;
    __cpuid_count(7, 0, a, b, c, d);
    const bool instructions = (b & bit_AVX512F) != 0 && (b & bit_AVX512VL) != 0 && (c & bit_VPCLMULQDQ) != 0;
    // XCR0: the SSE and AVX state (bits 1, 2), the opmask and the upper halves of the 512-bit
    // registers (bits 5 to 7) saved by the system.
    unsigned low = 0, high = 0;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    constexpr unsigned kAvx512State = 0xE6;
    support.wide = instructions && (low & kAvx512State) == kAvx512State;
    return support;
}

const ClmulSupport& Clmul() {
    static const ClmulSupport support = AskProcessor();
    return support;
}

#endif

}  // namespace

uint16_t LameCrc16(uint16_t crc, const uint8_t* data, size_t length) {
#ifdef CORVANE_CRC_CLMUL
    if (length >= kFoldBytes && Clmul().clmul) {
        const size_t folded = length & ~size_t{15};
        crc = Clmul().wide && length >= kWideFoldBytes ? WideClmulCrc16(crc, data, folded)
                                                       : ClmulCrc16(crc, data, folded);
        data += folded;
        length -= folded;
    }
#endif
    return TableCrc16(crc, data, length);
}

}  // namespace corvane
