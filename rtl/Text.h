// Windows-1252 text: conversion to and from Unicode, trimming, case mapping and name comparison.
#pragma once

#include <string>
#include <string_view>

namespace rtl {

// The Unicode code point of a Windows-1252 byte. The five bytes the code page leaves unassigned
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the same-valued control characters, so every byte round-trips.
char32_t Cp1252ToCodePoint(unsigned char byte) noexcept;
// The Windows-1252 byte of a code point, or '?' for a character outside the code page.
char CodePointToCp1252(char32_t codePoint) noexcept;

std::string Cp1252ToUtf8(std::string_view text);
// Malformed UTF-8 sequences become '?', like characters outside the code page.
std::string Utf8ToCp1252(std::string_view text);
std::u16string Cp1252ToUtf16(std::string_view text);
// Unpaired surrogates become '?'.
std::string Utf16ToCp1252(std::u16string_view text);

// Trimming removes blanks and control characters (every byte up to and including ' ').
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

// Case mapping of Windows-1252 letters, accented ones included.
char AnsiUpperChar(char c) noexcept;
char AnsiLowerChar(char c) noexcept;
std::string AnsiUpperCase(std::string_view text);
std::string AnsiLowerCase(std::string_view text);
// Case mapping of 'a'..'z' only.
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);

// Case-insensitive comparison of names: <0, 0 or >0, comparing the upper-case forms byte by byte.
int AnsiCompareText(std::string_view a, std::string_view b) noexcept;
bool AnsiSameText(std::string_view a, std::string_view b) noexcept;
// Case-sensitive comparison: byte order.
int AnsiCompareStr(std::string_view a, std::string_view b) noexcept;
bool AnsiSameStr(std::string_view a, std::string_view b) noexcept;

}  // namespace rtl
