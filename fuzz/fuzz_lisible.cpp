// trsfChaineRecuEnLisible: nothing but printable ASCII comes out, printable ASCII goes through
// untouched. Read as bytes, the way texts arrive, and as UTF-16, where codes of four and five
// digits appear.
#include "OutilsFuzz.h"
#include "trace/Lisible.h"

#include <cstddef>
#include <cstdint>

namespace {

void verifie(const QString& recu)
{
    const QString lisible = trsfChaineRecuEnLisible(recu);
    bool imprimable = true;
    for (const QChar c : recu)
        imprimable = imprimable && c.unicode() >= 32 && c.unicode() <= 126;
    for (const QChar c : lisible)
        exige(c.unicode() >= 32 && c.unicode() <= 126, "rien que de l'ASCII imprimable", lisible);
    exige(lisible.size() >= recu.size(), "chaque caractere donne au moins un caractere", lisible);
    exige(!imprimable || lisible == recu, "un texte imprimable passe tel quel", lisible);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    verifie(enLatin1(data, size));
    verifie(enUtf16(data, size));
    return 0;
}
