#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken invariant is a crash for libFuzzer: it keeps the input that caused it.
inline void exige(bool condition, const char* invariant, const QString& detail = {})
{
    if (condition)
        return;
    std::fprintf(stderr, "invariant rompu : %s\n  %s\n", invariant, detail.toUtf8().constData());
    std::abort();
}

// The bytes as the socket edge hands them over: one character per byte.
inline QString enLatin1(const std::uint8_t* data, std::size_t size)
{
    return QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The bytes taken two by two as UTF-16 code units, for characters past 255.
inline QString enUtf16(const std::uint8_t* data, std::size_t size)
{
    QString texte;
    texte.reserve(qsizetype(size / 2));
    for (std::size_t i = 0; i + 1 < size; i += 2)
        texte += QChar(char16_t(data[i] | (data[i + 1] << 8)));
    return texte;
}
