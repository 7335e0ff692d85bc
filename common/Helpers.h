#pragma once
// Number and text helpers shared by every part of the tool.
#include <QString>
#include <cstdint>

namespace kadex {

// Text as a number with the point as decimal separator; 0 when it is not a number.
double GetFloatWert(const QString& text);

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4), saturated to 32 bits.
int32_t RoundHalfEven(double x);

// GetFloatWert(text) * factor, rounded half to even.
int32_t GetIntFromString(const QString& text, double factor = 1.0);

// Cut towards zero, saturated to 32 bits.
int32_t Trunc(double x);

// x as fixed-point text with n decimals and a point.
QString Fixed(double x, int decimals);

// Prepend / append the first character of fill until text has width characters.
QString PadLeft(const QString& text, const QString& fill, int width);
QString PadRight(const QString& text, const QString& fill, int width);

// The text with "0" appended when it contains a point.
QString AppendZeroAfterPoint(const QString& text);

// Bytes as upper-case hex, each followed by one blank ("40 01 ").
QString HexBytes(const uint8_t* data, size_t count);

} // namespace kadex
