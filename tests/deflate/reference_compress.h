// A literal, slow transcription of the encoder kept as the oracle for the fast one: head and
// chain arrays over every position, a walk of at most 64 candidates, byte-by-byte matching
// and a bit writer that appends one byte per eight bits.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace orvel::deflate::reference {

std::vector<uint8_t> compress(std::span<const uint8_t> input);

}  // namespace orvel::deflate::reference
