#pragma once
// Wire framing of ZB telegrams, shared by the tool and the controller simulator.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kadex::zb {

inline constexpr uint8_t PatternPP = 0x01;
inline constexpr uint8_t PatternBroadcast = 0x09;
inline constexpr uint8_t PatternButton = 0x81;
inline constexpr uint8_t LengthMask = 0x70;
inline constexpr uint8_t ErrorBit = 0x80;
inline constexpr int MaxBody = 7; // command code + payload, and answer data bytes

// Check byte A: a vector of byte parities; the last byte's parity ends up in bit 7.
uint8_t CheckA(const uint8_t* bytes, size_t count);
// Check byte B: XOR of all bytes.
uint8_t CheckB(const uint8_t* bytes, size_t count);

// Address pattern of a bus address index: 0 = PP, 1..8 = ZB1..ZB8; anything else PP.
uint8_t AddressPattern(int index);
// Index 1..8 for a ZB pattern, 0 for PP, -1 for any other byte.
int AddressIndexOfPattern(uint8_t pattern);
// "PP", "ZB1".."ZB8" for a pattern, nullptr for any other byte.
const char* AddressName(uint8_t pattern);

// Header byte: pattern OR (n << 4 AND 0x70).
inline uint8_t Header(uint8_t pattern, int n) { return static_cast<uint8_t>(pattern | ((n << 4) & LengthMask)); }
// The length field (bits 6..4) of a header.
inline int LengthField(uint8_t header) { return (header & LengthMask) >> 4; }
// The address pattern bits (7, 3..0) of a request header.
inline uint8_t PatternOf(uint8_t header) { return static_cast<uint8_t>(header & ~LengthMask); }

// Appends both check bytes to a telegram body (header and data).
void AppendChecks(std::vector<uint8_t>& telegram);
// A complete telegram: header, body (1..7 bytes), check bytes A and B.
std::vector<uint8_t> Frame(uint8_t pattern, const std::vector<uint8_t>& body);
// True when the last two bytes are the correct check bytes over the rest (length >= 3).
bool ChecksValid(const uint8_t* telegram, size_t length);

// The 32-bit key that Unlock expects for factory-level writes, derived from the identity answer.
uint32_t DeviceKey(uint16_t w1, uint16_t w2, uint8_t d5, uint8_t type, uint8_t last);

} // namespace kadex::zb
