// ComCalculCStarvik2: always two upper-case hexadecimal digits that bring the byte sum of the
// text to a multiple of 256. The input is read twice: as bytes, the way frames arrive, and as
// UTF-16, where a character past 255 counts as the "?" it becomes on the wire.
#include "OutilsFuzz.h"
#include "sim/ConversionsTrame.h"

#include <cstddef>
#include <cstdint>

namespace {

void verifie(const QString& texte)
{
    const QString cs = ComCalculCStarvik2(texte);
    exige(cs.size() == 2, "deux caracteres", cs);
    unsigned valeur = 0;
    for (const QChar c : cs) {
        const char16_t u = c.unicode();
        const bool chiffre = u >= u'0' && u <= u'9';
        const bool lettre = u >= u'A' && u <= u'F';
        exige(chiffre || lettre, "chiffres hexadecimaux majuscules", cs);
        valeur = valeur * 16 + unsigned(chiffre ? u - u'0' : u - u'A' + 10);
    }
    unsigned somme = 0;
    for (const char octet : texte.toLatin1())
        somme += static_cast<unsigned char>(octet);
    exige((somme + valeur) % 256 == 0, "(somme + valeur) % 256 == 0", cs);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    verifie(enLatin1(data, size));
    verifie(enUtf16(data, size));
    return 0;
}
