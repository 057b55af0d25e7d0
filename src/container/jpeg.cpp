#include "container/jpeg.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

namespace orvel::container {

bool isJpeg(ByteView data) noexcept {
  return data.size() >= 2 && data[0] == kMarkerStart && data[1] == kStartOfImage;
}

std::optional<JpegSegment> JpegSegmentWalk::next() noexcept {
  if (ended_ != JpegWalkEnd::walking) return std::nullopt;
  if (rules_ == JpegWalkRules::decoder) return nextAsDecoder();
  // A bounds check rather than a length comparison, so that a walk reaching the end is noticed.
  if (!base::inBounds(data_, position_, 4)) {
    ended_ = JpegWalkEnd::dataEnd;
    return std::nullopt;
  }
  // The four bytes are inside: read them as one.
  const uint32_t head = base::readU32be(data_, position_);
  const auto lead = static_cast<uint8_t>(head >> 24);
  const auto marker = static_cast<uint8_t>(head >> 16);
  const int64_t length = head & 0xFFFF;
  if (lead != kMarkerStart) {
    ended_ = JpegWalkEnd::badMarker;
  } else if (marker == kStartOfScan) {
    ended_ = JpegWalkEnd::startOfScan;
  } else if (marker == kEndOfImage) {
    ended_ = JpegWalkEnd::endOfImage;
  } else if (length < 2) {
    ended_ = JpegWalkEnd::badLength;
  }
  if (ended_ != JpegWalkEnd::walking) return std::nullopt;
  const JpegSegment segment{position_, marker, length};
  position_ = segment.end();
  return segment;
}

std::optional<JpegSegment> JpegSegmentWalk::nextAsDecoder() noexcept {
  for (;;) {
    if (!base::inBounds(data_, position_, 1)) return end(JpegWalkEnd::dataEnd);
    if (data_[position_] != kMarkerStart) return end(JpegWalkEnd::badMarker);
    int64_t lead = position_;  // the last 0xFF before the marker
    while (base::byteAt(data_, lead + 1) == kMarkerStart) ++lead;
    if (!base::inBounds(data_, lead + 1, 1)) {
      position_ = lead + 1;
      return end(JpegWalkEnd::dataEnd);
    }
    position_ = lead;
    const uint8_t marker = data_[lead + 1];
    if (marker == kEndOfImage) return end(JpegWalkEnd::endOfImage);
    if (marker == kTemporary || (marker >= kRestart0 && marker <= kRestart7)) {
      position_ = lead + 2;
      continue;
    }
    if (!base::inBounds(data_, lead + 2, 2)) return end(JpegWalkEnd::lengthTruncated);
    const int64_t length = base::readU16be(data_, lead + 2);
    if (length < 2) return end(JpegWalkEnd::badLength);
    const JpegSegment segment{lead, marker, length};
    position_ = segment.end();
    if (marker == kStartOfScan) ended_ = JpegWalkEnd::startOfScan;
    return segment;
  }
}

namespace {

std::atomic<bool> portableSearchChosen{false};

// 0xFF followed by anything but a stuffed zero, a restart marker or another 0xFF (a fill
// byte: the marker starts at the last one) starts a marker.
bool startsMarker(uint8_t next) {
  return next != 0x00 && next != kMarkerStart && !(next >= 0xD0 && next <= 0xD7);
}

// One bit per byte of the 64 at `p` that is 0xFF; with kCopy, the 64 bytes are also stored at
// `copy`. SSE2, which every x86-64 has.
template <bool kCopy>
uint64_t markerStartBits(const uint8_t* p, uint8_t* copy) {
  const __m128i ff = _mm_set1_epi8(static_cast<char>(kMarkerStart));
  uint64_t bits = 0;
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    if constexpr (kCopy) _mm_storeu_si128(reinterpret_cast<__m128i*>(copy + 16 * k), v);
    bits |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, ff))))
            << (16 * k);
  }
  return bits;
}

// The same with two 32-byte lanes.
template <bool kCopy>
[[gnu::target("avx2")]] uint64_t markerStartBitsAvx2(const uint8_t* p, uint8_t* copy) {
  const __m256i ff = _mm256_set1_epi8(static_cast<char>(kMarkerStart));
  const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  if constexpr (kCopy) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(copy), low);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(copy + 32), high);
  }
  const auto lowBits = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, ff)));
  const auto highBits = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, ff)));
  return uint64_t{highBits} << 32 | lowBits;
}

// The first marker starting in [from, to) of d (length bytes), or -1. With kCopy, the bytes
// from `from` up to the marker (or to `to`) are also laid at `copy`; bytes after the marker
// may be too, never any at or beyond `to`. Entropy-coded data holds a 0xFF about every 256
// bytes: 64 bytes are tested at a time and only their 0xFF bytes looked at one by one.
template <bool kCopy, uint64_t (*kBits)(const uint8_t*, uint8_t*)>
int64_t findMarker(const uint8_t* d, int64_t length, int64_t from, int64_t to, uint8_t* copy) {
  int64_t at = from;
  for (; at + 64 <= to; at += 64) {
    for (uint64_t bits = kBits(d + at, kCopy ? copy + (at - from) : nullptr); bits != 0;
         bits &= bits - 1) {
      const int64_t i = at + std::countr_zero(bits);
      if (i + 1 < length && startsMarker(d[i + 1])) return i;
    }
  }
  if (kCopy && at < to) std::memcpy(copy + (at - from), d + at, static_cast<std::size_t>(to - at));
  for (; at < to; ++at) {
    if (d[at] == kMarkerStart && at + 1 < length && startsMarker(d[at + 1])) return at;
  }
  return -1;
}

template <bool kCopy>
[[gnu::flatten]] int64_t findMarkerSse2(const uint8_t* d, int64_t length, int64_t from,
                                        int64_t to, uint8_t* copy) {
  return findMarker<kCopy, markerStartBits<kCopy>>(d, length, from, to, copy);
}

template <bool kCopy>
[[gnu::target("avx2"), gnu::flatten]] int64_t findMarkerAvx2(const uint8_t* d, int64_t length,
                                                             int64_t from, int64_t to,
                                                             uint8_t* copy) {
  return findMarker<kCopy, markerStartBitsAvx2<kCopy>>(d, length, from, to, copy);
}

template <bool kCopy>
int64_t findMarkerBest(const uint8_t* d, int64_t length, int64_t from, int64_t to, uint8_t* copy) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2 && !portableSearchChosen.load(std::memory_order_relaxed)) {
    return findMarkerAvx2<kCopy>(d, length, from, to, copy);
  }
  return findMarkerSse2<kCopy>(d, length, from, to, copy);
}

}  // namespace

int64_t JpegScanWalk::markerIn(int64_t from, int64_t to, int64_t& resume) const noexcept {
  const auto length = static_cast<int64_t>(data_.size());
  int64_t marker = -1;
  if (copyCursor_ != nullptr) {
    marker = findMarkerBest<true>(data_.data(), length, from, to, *copyCursor_);
    *copyCursor_ += (marker >= 0 ? marker : to) - from;
  } else {
    marker = findMarkerBest<false>(data_.data(), length, from, to, nullptr);
  }
  if (marker < 0) resume = std::max(from, to);
  return marker;
}

int64_t JpegScanWalk::markerFrom(int64_t from) const {
  const auto length = static_cast<int64_t>(data_.size());
  while (from < length) {
    const int64_t to = std::min(from + kJpegSearchBlock, length);
    int64_t resume = to;
    const int64_t marker = markerIn(from, to, resume);
    if (marker >= 0) {
      if (searched_ && marker > from) searched_(from, marker);
      return marker;
    }
    if (searched_) searched_(from, std::min(resume, length));
    from = resume;
  }
  return length;
}

std::optional<JpegSegment> JpegScanWalk::next() {
  if (ended_ != JpegScanEnd::walking) return std::nullopt;
  // What follows the segment handed out last is searched only now, once its reader has dealt
  // with that segment.
  if (searchFrom_ >= 0) {
    position_ = markerFrom(searchFrom_);
    searchFrom_ = -1;
  }
  if (!base::inBounds(data_, position_, 2)) {
    position_ = static_cast<int64_t>(data_.size());
    ended_ = JpegScanEnd::dataEnd;
    return std::nullopt;
  }
  const uint8_t marker = data_[static_cast<std::size_t>(position_ + 1)];
  if (marker == kEndOfImage) {
    ended_ = JpegScanEnd::endOfImage;
    return std::nullopt;
  }
  const JpegSegment segment{position_, marker, base::readU16be(data_, position_ + 2)};
  if (!base::inBounds(data_, position_, 4) || segment.length < 2 || !segment.fits(data_)) {
    position_ = static_cast<int64_t>(data_.size());
    ended_ = JpegScanEnd::dataEnd;
    return std::nullopt;
  }
  // Entropy-coded data follows a start of scan; any other segment is followed by a marker,
  // perhaps after fill bytes. The search finds either.
  searchFrom_ = segment.end();
  return segment;
}

void chooseJpegSearchPortable(bool portable) noexcept {
  portableSearchChosen.store(portable, std::memory_order_relaxed);
}

}  // namespace orvel::container
