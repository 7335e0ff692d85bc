#pragma once
// Byte order helpers and transfer chains shared by the calibration and controller-parameter
// records. A chain makes each transfer only while every one before it succeeded.
#include "comm/ZBCmd.h"
#include "device/Identify.h"
#include "device/model/WindowModel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace kadex::recbytes {

inline uint16_t be16(const uint8_t* b) { return static_cast<uint16_t>((b[0] << 8) | b[1]); }
inline uint32_t be32(const uint8_t* b) { return (uint32_t(be16(b)) << 16) | be16(b + 2); }
inline void putBe16(uint8_t* b, uint16_t v)
{
    b[0] = static_cast<uint8_t>(v >> 8);
    b[1] = static_cast<uint8_t>(v);
}
inline void putBe32(uint8_t* b, uint32_t v)
{
    putBe16(b, static_cast<uint16_t>(v >> 16));
    putBe16(b + 2, static_cast<uint16_t>(v));
}
// IEEE-754 single precision, least significant byte first.
inline float floatLe(const uint8_t* b)
{
    const uint32_t u = b[0] | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    return std::bit_cast<float>(u);
}
inline void putFloatLe(uint8_t* b, float f)
{
    const auto u = std::bit_cast<uint32_t>(f);
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<uint8_t>(u >> (8 * i));
}
inline uint16_t u16(int64_t v) { return static_cast<uint16_t>(std::clamp<int64_t>(v, 0, 65535)); }

// A spin field's value, and setting it as the spin box would: inside its limits.
inline uint16_t spinU16(const WindowModel& m, FieldId f) { return u16(std::llround(m.value(f))); }
inline void setSpin(WindowModel& m, FieldId f, double v)
{
    const FieldState s = m.state(f);
    if (s.ranged)
        v = std::clamp(v, s.minimum, s.maximum);
    m.setValue(f, v);
}

// Reads while every read before succeeded; values of reads not made are 0.
struct MemReader {
    TZBCmd& zb;
    bool ok = true;
    explicit MemReader(TZBCmd& bus) : zb(bus) {}

    bool read(uint16_t addr, uint8_t n, uint8_t* out)
    {
        if (ok)
            ok = zb.ReadMem(addr, n, out);
        return ok;
    }
    uint8_t u8(uint16_t addr)
    {
        uint8_t b = 0;
        return read(addr, 1, &b) ? b : 0;
    }
    uint16_t be16(uint16_t addr)
    {
        uint8_t b[2] = {};
        return read(addr, 2, b) ? recbytes::be16(b) : 0;
    }
    uint32_t be32(uint16_t addr)
    {
        uint8_t b[4] = {};
        return read(addr, 4, b) ? recbytes::be32(b) : 0;
    }
    float floatLe(uint16_t addr, bool& got)
    {
        uint8_t b[4] = {};
        got = read(addr, 4, b);
        return got ? recbytes::floatLe(b) : 0.0f;
    }
    // A 16-character text without trailing blanks.
    QString text16(uint16_t addr)
    {
        QString t;
        if (ok)
            ok = zb.ReadText16(addr, t);
        return ok ? TrimRight(t) : QString();
    }
};

// Writes while every write before succeeded; each returns whether it was made and succeeded.
struct MemWriter {
    TZBCmd& zb;
    bool ok = true;
    explicit MemWriter(TZBCmd& bus) : zb(bus) {}

    bool write(uint16_t addr, const uint8_t* data, uint8_t n)
    {
        if (ok)
            ok = zb.WriteMem(addr, data, n);
        return ok;
    }
    bool u8(uint16_t addr, uint8_t v) { return write(addr, &v, 1); }
    bool be16(uint16_t addr, uint16_t v)
    {
        uint8_t b[2];
        putBe16(b, v);
        return write(addr, b, 2);
    }
    bool be16x2(uint16_t addr, uint16_t a, uint16_t c)
    {
        uint8_t b[4];
        putBe16(b, a);
        putBe16(b + 2, c);
        return write(addr, b, 4);
    }
    bool be32(uint16_t addr, uint32_t v)
    {
        uint8_t b[4];
        putBe32(b, v);
        return write(addr, b, 4);
    }
    bool floatLe(uint16_t addr, float f)
    {
        uint8_t b[4];
        putFloatLe(b, f);
        return write(addr, b, 4);
    }
};

} // namespace kadex::recbytes
