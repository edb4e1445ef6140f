// SHA-1 with a selectable initial chaining value.
//
// The portable compression function is written out round by round over a 16-word
// rolling schedule (the 80-word schedule of the standard, computed on the fly),
// which lets the compiler keep the five working words in registers. Whole
// blocks are compressed straight from the caller's buffer; only the tail of an
// update is copied into the context. Where the processor has the SHA
// extensions they do the compression instead (checked once, at run time, so
// the program still runs on the oldest processors it supports).
#include "report/digest.h"

#include <string.h>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

const uint32_t kReportDigestWords[5] = {0x6F72766EU, 0xD1A9B0C5U, 0x3E5C7A12U, 0x8B4F2D96U, 0x27E0C4A9U};
const uint32_t kStandardSha1Words[5] = {0x67452301U, 0xEFCDAB89U, 0x98BADCFEU, 0x10325476U, 0xC3D2E1F0U};

namespace {

inline uint32_t Rotl(uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

inline uint32_t LoadBigEndian(const uint8_t* p) {
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | (uint32_t)p[3];
}

inline void StoreBigEndian(uint8_t* p, uint32_t value) {
    p[0] = (uint8_t)(value >> 24);
    p[1] = (uint8_t)(value >> 16);
    p[2] = (uint8_t)(value >> 8);
    p[3] = (uint8_t)value;
}

#define DGN_CH(b, c, d) (((c ^ d) & b) ^ d)
#define DGN_PARITY(b, c, d) (b ^ c ^ d)
#define DGN_MAJ(b, c, d) (((b | c) & d) | (b & c))
// Words 16..79 of the schedule, kept in a ring of 16.
#define DGN_W(i) \
    (w[(i) & 15] = Rotl(w[((i) + 13) & 15] ^ w[((i) + 8) & 15] ^ w[((i) + 2) & 15] ^ w[(i) & 15], 1))
#define DGN_STEP(a, b, c, d, e, f, k, wi)            \
    do {                                            \
        e += Rotl(a, 5) + f(b, c, d) + (k) + (wi);   \
        b = Rotl(b, 30);                            \
    } while (0)
// Five steps with the working words renamed instead of shifted.
#define DGN_FIVE(f, k, i, WX)                      \
    DGN_STEP(a, b, c, d, e, f, k, WX(i));          \
    DGN_STEP(e, a, b, c, d, f, k, WX((i) + 1));    \
    DGN_STEP(d, e, a, b, c, f, k, WX((i) + 2));    \
    DGN_STEP(c, d, e, a, b, f, k, WX((i) + 3));    \
    DGN_STEP(b, c, d, e, a, f, k, WX((i) + 4))
#define DGN_W0(i) w[i]

void CompressPortable(uint32_t state[5], const uint8_t* data, size_t blockCount) {
    while (blockCount-- > 0) {
        uint32_t w[16];
        for (int i = 0; i < 16; ++i) w[i] = LoadBigEndian(data + 4 * i);
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];

        DGN_FIVE(DGN_CH, 0x5A827999U, 0, DGN_W0);
        DGN_FIVE(DGN_CH, 0x5A827999U, 5, DGN_W0);
        DGN_FIVE(DGN_CH, 0x5A827999U, 10, DGN_W0);
        DGN_STEP(a, b, c, d, e, DGN_CH, 0x5A827999U, w[15]);
        DGN_STEP(e, a, b, c, d, DGN_CH, 0x5A827999U, DGN_W(16));
        DGN_STEP(d, e, a, b, c, DGN_CH, 0x5A827999U, DGN_W(17));
        DGN_STEP(c, d, e, a, b, DGN_CH, 0x5A827999U, DGN_W(18));
        DGN_STEP(b, c, d, e, a, DGN_CH, 0x5A827999U, DGN_W(19));

        DGN_FIVE(DGN_PARITY, 0x6ED9EBA1U, 20, DGN_W);
        DGN_FIVE(DGN_PARITY, 0x6ED9EBA1U, 25, DGN_W);
        DGN_FIVE(DGN_PARITY, 0x6ED9EBA1U, 30, DGN_W);
        DGN_FIVE(DGN_PARITY, 0x6ED9EBA1U, 35, DGN_W);

        DGN_FIVE(DGN_MAJ, 0x8F1BBCDCU, 40, DGN_W);
        DGN_FIVE(DGN_MAJ, 0x8F1BBCDCU, 45, DGN_W);
        DGN_FIVE(DGN_MAJ, 0x8F1BBCDCU, 50, DGN_W);
        DGN_FIVE(DGN_MAJ, 0x8F1BBCDCU, 55, DGN_W);

        DGN_FIVE(DGN_PARITY, 0xCA62C1D6U, 60, DGN_W);
        DGN_FIVE(DGN_PARITY, 0xCA62C1D6U, 65, DGN_W);
        DGN_FIVE(DGN_PARITY, 0xCA62C1D6U, 70, DGN_W);
        DGN_FIVE(DGN_PARITY, 0xCA62C1D6U, 75, DGN_W);

        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        data += 64;
    }
}

#undef DGN_CH
#undef DGN_PARITY
#undef DGN_MAJ
#undef DGN_W
#undef DGN_STEP
#undef DGN_FIVE
#undef DGN_W0

#if defined(__i386__) || defined(__x86_64__)
#define DGN_HAVE_SHA_EXTENSIONS 1

// The same compression with the processor's SHA extensions (Intel SHA-NI,
// present in most x86 processors since about 2016), several times faster than
// the portable code. Each group of four rounds takes one sha1rnds4; the
// schedule is built four words at a time with sha1msg1, xor and sha1msg2.
// Lane 3 holds A (and E); the byte shuffle turns the big-endian input words
// into that order.
__attribute__((target("sha,sse4.1,ssse3"))) void CompressShaExtensions(uint32_t state[5], const uint8_t* data,
                                                                        size_t blockCount) {
    const __m128i kByteOrder = _mm_set_epi64x(0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e0 = _mm_set_epi32((int)state[4], 0, 0, 0);
    __m128i e1;
    while (blockCount-- > 0) {
        const __m128i abcdSaved = abcd;
        const __m128i eSaved = e0;
        __m128i msg[4];
        for (int i = 0; i < 4; ++i)
            msg[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), kByteOrder);

// Rounds 4g..4g+3. E for this group comes from A of the group before
// (sha1nexte), the current words are msg[g % 4], and the words of later
// groups are prepared in the other three slots.
#define DGN_GROUP(g, eThis, eNext, function)                                              \
    eThis = _mm_sha1nexte_epu32(eThis, msg[(g) % 4]);                                     \
    eNext = abcd;                                                                         \
    if ((g) >= 3 && (g) <= 18) msg[((g) + 1) % 4] = _mm_sha1msg2_epu32(msg[((g) + 1) % 4], msg[(g) % 4]); \
    abcd = _mm_sha1rnds4_epu32(abcd, eThis, function);                                    \
    if ((g) >= 1 && (g) <= 16) msg[((g) + 3) % 4] = _mm_sha1msg1_epu32(msg[((g) + 3) % 4], msg[(g) % 4]); \
    if ((g) >= 2 && (g) <= 17) msg[((g) + 2) % 4] = _mm_xor_si128(msg[((g) + 2) % 4], msg[(g) % 4])

        e0 = _mm_add_epi32(e0, msg[0]);
        e1 = abcd;
        abcd = _mm_sha1rnds4_epu32(abcd, e0, 0);
        DGN_GROUP(1, e1, e0, 0);
        DGN_GROUP(2, e0, e1, 0);
        DGN_GROUP(3, e1, e0, 0);
        DGN_GROUP(4, e0, e1, 0);
        DGN_GROUP(5, e1, e0, 1);
        DGN_GROUP(6, e0, e1, 1);
        DGN_GROUP(7, e1, e0, 1);
        DGN_GROUP(8, e0, e1, 1);
        DGN_GROUP(9, e1, e0, 1);
        DGN_GROUP(10, e0, e1, 2);
        DGN_GROUP(11, e1, e0, 2);
        DGN_GROUP(12, e0, e1, 2);
        DGN_GROUP(13, e1, e0, 2);
        DGN_GROUP(14, e0, e1, 2);
        DGN_GROUP(15, e1, e0, 3);
        DGN_GROUP(16, e0, e1, 3);
        DGN_GROUP(17, e1, e0, 3);
        DGN_GROUP(18, e0, e1, 3);
        DGN_GROUP(19, e1, e0, 3);
#undef DGN_GROUP

        e0 = _mm_sha1nexte_epu32(e0, eSaved);
        abcd = _mm_add_epi32(abcd, abcdSaved);
        data += 64;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = (uint32_t)_mm_extract_epi32(e0, 3);
}

bool ProcessorHasShaExtensions() {
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool ssse3 = (ecx & (1u << 9)) != 0, sse41 = (ecx & (1u << 19)) != 0;
    if (!ssse3 || !sse41 || __get_cpuid_max(0, NULL) < 7) return false;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    return (ebx & (1u << 29)) != 0;
}
#endif

// -1 until the processor has been asked; then 1 or 0. Computing it twice
// from two threads is harmless: both get the same answer.
int useShaExtensions = -1;

void Compress(uint32_t state[5], const uint8_t* data, size_t blockCount) {
#ifdef DGN_HAVE_SHA_EXTENSIONS
    if (useShaExtensions < 0) useShaExtensions = ProcessorHasShaExtensions() ? 1 : 0;
    if (useShaExtensions > 0) {
        CompressShaExtensions(state, data, blockCount);
        return;
    }
#endif
    CompressPortable(state, data, blockCount);
}

// Bytes already waiting in the partial block.
inline size_t PendingBytes(const DigestContext* context) { return (context->bitCountLow >> 3) & 63; }

void AddBits(DigestContext* context, uint64_t byteCount) {
    uint64_t bits = ((uint64_t)context->bitCountHigh << 32) | context->bitCountLow;
    bits += byteCount << 3;
    context->bitCountLow = (uint32_t)bits;
    context->bitCountHigh = (uint32_t)(bits >> 32);
}

}  // namespace

bool DigestSelectAcceleration(bool enable) {
#ifdef DGN_HAVE_SHA_EXTENSIONS
    const bool available = ProcessorHasShaExtensions();
#else
    const bool available = false;
#endif
    useShaExtensions = enable && available ? 1 : 0;
    return useShaExtensions == 1;
}

void DigestInitWith(DigestContext* context, const uint32_t words[5]) {
    memset(context, 0, sizeof *context);
    for (int i = 0; i < 5; ++i) context->state[i] = words[i];
}

void DigestInit(DigestContext* context) { DigestInitWith(context, kReportDigestWords); }

void DigestUpdate(DigestContext* context, const void* bytes, size_t byteCount) {
    const uint8_t* data = static_cast<const uint8_t*>(bytes);
    if (byteCount == 0) return;
    size_t pending = PendingBytes(context);
    AddBits(context, byteCount);
    if (pending > 0) {
        size_t take = 64 - pending;
        if (take > byteCount) take = byteCount;
        memcpy(context->block + pending, data, take);
        data += take;
        byteCount -= take;
        if (pending + take < 64) return;
        Compress(context->state, context->block, 1);
    }
    size_t wholeBlocks = byteCount / 64;
    if (wholeBlocks > 0) {
        Compress(context->state, data, wholeBlocks);
        data += wholeBlocks * 64;
        byteCount -= wholeBlocks * 64;
    }
    if (byteCount > 0) memcpy(context->block, data, byteCount);
}

void DigestFinal(DigestContext* context) {
    uint32_t bitsHigh = context->bitCountHigh;
    uint32_t bitsLow = context->bitCountLow;
    size_t pending = PendingBytes(context);
    context->block[pending++] = 0x80;
    if (pending > 56) {
        memset(context->block + pending, 0, 64 - pending);
        Compress(context->state, context->block, 1);
        pending = 0;
    }
    memset(context->block + pending, 0, 56 - pending);
    StoreBigEndian(context->block + 56, bitsHigh);
    StoreBigEndian(context->block + 60, bitsLow);
    Compress(context->state, context->block, 1);
    for (int i = 0; i < 5; ++i) StoreBigEndian(context->digest + 4 * i, context->state[i]);
    memset(context->state, 0, sizeof context->state);
    memset(context->block, 0, sizeof context->block);
    context->bitCountLow = 0;
    context->bitCountHigh = 0;
}

void DigestToHex(const uint8_t digest[kDigestBytes], char hex[2 * kDigestBytes + 1]) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = 0; i < kDigestBytes; ++i) {
        hex[2 * i] = kDigits[digest[i] >> 4];
        hex[2 * i + 1] = kDigits[digest[i] & 15];
    }
    hex[2 * kDigestBytes] = '\0';
}
