#pragma once

#include <bit>
#include <cstddef>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VIREO_READER_SSE2 1
#endif

namespace vireo::logfile_detail {

// Inline: the line reader calls it once a line, and its loop is short.

/// The index of the first carriage return or line feed in [from, end) of
/// `data`, or `end`, one byte at a time: the plain path the quick one is held to.
inline std::size_t FirstLineBreakPlain(const char* data, std::size_t from, std::size_t end) {
    while (from < end && data[from] != '\r' && data[from] != '\n') ++from;
    return from;
}

/// The same, 16 bytes at a time where the processor can (SSE2). Reads only
/// inside [data, data + end).
inline std::size_t FirstLineBreak(const char* data, std::size_t from, std::size_t end) {
#ifdef VIREO_READER_SSE2
    if (end >= 16) {
        const __m128i carriageReturn = _mm_set1_epi8('\r');
        const __m128i lineFeed = _mm_set1_epi8('\n');
        const auto breaks = [&](std::size_t at) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
            return static_cast<unsigned>(_mm_movemask_epi8(
                _mm_or_si128(_mm_cmpeq_epi8(chunk, carriageReturn), _mm_cmpeq_epi8(chunk, lineFeed))));
        };
        for (; from + 16 <= end; from += 16) {
            if (const unsigned mask = breaks(from); mask != 0)
                return from + static_cast<std::size_t>(std::countr_zero(mask));
        }
        if (from < end) {
            // The last 16 bytes, without those before `from`.
            const unsigned mask = breaks(end - 16) >> (from - (end - 16));
            return mask != 0 ? from + static_cast<std::size_t>(std::countr_zero(mask)) : end;
        }
        return end;
    }
#endif
    return FirstLineBreakPlain(data, from, end);
}

}  // namespace vireo::logfile_detail
