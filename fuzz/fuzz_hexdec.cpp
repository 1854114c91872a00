// HexDec against a reading of its own: hexadecimal digits of either case, saturating at
// 7FFFFFFF; any other character, or no character, reads as 0.
#include "OutilsFuzz.h"
#include "sim/ConversionsTrame.h"

#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

qint32 attendu(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t valeur = 0;
    bool sature = false;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t c = data[i];
        std::uint64_t chiffre;
        if (c >= '0' && c <= '9')
            chiffre = std::uint64_t(c - '0');
        else if (c >= 'a' && c <= 'f')
            chiffre = std::uint64_t(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            chiffre = std::uint64_t(c - 'A' + 10);
        else
            return 0;
        if (!sature) {
            valeur = valeur * 16 + chiffre;
            sature = valeur > std::uint64_t(std::numeric_limits<qint32>::max());
        }
    }
    return sature ? std::numeric_limits<qint32>::max() : qint32(valeur);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString texte = enLatin1(data, size);
    const qint32 lu = HexDec(texte);
    exige(lu == attendu(data, size), "HexDec lit l'hexadecimal et sature a 7FFFFFFF",
          texte + QStringLiteral(" -> ") + QString::number(lu));
    return 0;
}
