#include "comm/ZBFrame.h"

namespace kadex::zb {

static uint8_t parity(uint8_t b)
{
    b = static_cast<uint8_t>(b ^ (b >> 4));
    b = static_cast<uint8_t>(b ^ (b >> 2));
    b = static_cast<uint8_t>(b ^ (b >> 1));
    return b & 1;
}

uint8_t CheckA(const uint8_t* bytes, size_t count)
{
    uint8_t r = 0;
    for (size_t i = 0; i < count; ++i)
        r = static_cast<uint8_t>((r >> 1) | (parity(bytes[i]) << 7));
    return r;
}

uint8_t CheckB(const uint8_t* bytes, size_t count)
{
    uint8_t r = 0;
    for (size_t i = 0; i < count; ++i)
        r ^= bytes[i];
    return r;
}

static constexpr uint8_t kPatterns[9] = {0x01, 0x00, 0x04, 0x08, 0x0C, 0x80, 0x84, 0x88, 0x8C};
static constexpr const char* kNames[9] = {"PP", "ZB1", "ZB2", "ZB3", "ZB4", "ZB5", "ZB6", "ZB7", "ZB8"};

uint8_t AddressPattern(int index)
{
    return (index >= 1 && index <= 8) ? kPatterns[index] : PatternPP;
}

int AddressIndexOfPattern(uint8_t pattern)
{
    for (int i = 0; i < 9; ++i)
        if (kPatterns[i] == pattern)
            return i;
    return -1;
}

const char* AddressName(uint8_t pattern)
{
    const int i = AddressIndexOfPattern(pattern);
    return i < 0 ? nullptr : kNames[i];
}

void AppendChecks(std::vector<uint8_t>& t)
{
    const uint8_t a = CheckA(t.data(), t.size());
    t.push_back(a);
    const uint8_t b = CheckB(t.data(), t.size());
    t.push_back(b);
}

std::vector<uint8_t> Frame(uint8_t pattern, const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> t;
    t.reserve(body.size() + 3);
    t.push_back(Header(pattern, static_cast<int>(body.size())));
    t.insert(t.end(), body.begin(), body.end());
    AppendChecks(t);
    return t;
}

bool ChecksValid(const uint8_t* t, size_t length)
{
    if (length < 3)
        return false;
    return CheckA(t, length - 2) == t[length - 2] && CheckB(t, length - 1) == t[length - 1];
}

uint32_t DeviceKey(uint16_t w1, uint16_t w2, uint8_t d5, uint8_t type, uint8_t last)
{
    const uint32_t serial = (static_cast<uint32_t>(w1) << 16) | w2;
    const uint32_t mix = (static_cast<uint32_t>(d5) << 24) | (static_cast<uint32_t>(type) << 16)
        | (static_cast<uint32_t>(last) << 8) | 0x5Au;
    return serial ^ mix;
}

} // namespace kadex::zb
