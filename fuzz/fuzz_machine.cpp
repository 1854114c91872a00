// Machine files from any bytes: the bytes read as MACHINE= reads its file. A file is taken whole
// or refused whole with a reason; a file taken has at least one device and no more than the
// bound, each under a name of its own that stands in a path of the control API as it is, its
// settings within their bounds; and the same bytes always read the same way.
#include "OutilsFuzz.h"
#include "machine/DescriptionMachine.h"
#include "sim/HorlogeDispositif.h"
#include "sim/MoteurDefauts.h"

#include <QJsonDocument>
#include <QSet>

#include <cstddef>
#include <cstdint>
#include <variant>

namespace {

// Letters, digits, '-' and '_': what "count" adds to a valid name keeps it one, past 64 too.
bool nomDeChemin(const QString& nom)
{
    for (const QChar c : nom) {
        const char16_t u = c.unicode();
        const bool lettre = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
        if (!lettre && !(u >= '0' && u <= '9') && u != '-' && u != '_')
            return false;
    }
    return !nom.isEmpty();
}

void verifiePrise(const DescriptionMachine& machine)
{
    const auto n = machine.appareils.size();
    exige(n >= 1 && n <= std::size_t(DescriptionMachine::AppareilsMax),
          "une machine a de un a AppareilsMax appareils", QString::number(n));
    QSet<QString> noms;
    int index = 0;
    for (const DescriptionAppareil& a : machine.appareils) {
        exige(nomDeChemin(a.nom), "un nom tient dans un chemin de l'API", a.nom);
        exige(!noms.contains(a.nom), "chaque nom est pris une fois", a.nom);
        noms.insert(a.nom);
        exige(a.index >= index, "les appareils restent dans l'ordre du fichier", a.nom);
        index = a.index;
        exige(!a.fautes || a.fautes->size() <= MoteurDefauts::ReglesMax,
              "les regles d'un appareil sont bornees", a.nom);
        exige(!a.homingMs || (*a.homingMs >= 0 && *a.homingMs <= HorlogeDispositif::AvanceMaxMs),
              "le delai du homing est borne", a.nom);
        exige(!a.rejeuSinon || a.rejeu, "playback_fallback va avec playback", a.nom);
    }
}

// What a reading comes to, to compare two readings of the same bytes.
QString resume(const std::variant<DescriptionMachine, DescriptionMachine::Refus>& lu)
{
    if (const auto* refus = std::get_if<DescriptionMachine::Refus>(&lu))
        return refus->champ + QLatin1Char('\n') + refus->raison;
    QString noms;
    for (const DescriptionAppareil& a : std::get<DescriptionMachine>(lu).appareils)
        noms += a.nom + QLatin1Char(':') + QString::number(a.port) + QLatin1Char(' ');
    return noms;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray texte(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto lu = DescriptionMachine::lit(texte);
    if (const auto* refus = std::get_if<DescriptionMachine::Refus>(&lu)) {
        exige(!refus->raison.isEmpty(), "un refus dit pourquoi", refus->champ);
        if (!QJsonDocument::fromJson(texte).isObject())
            exige(refus->champ.isEmpty(), "ce qui n'est pas un objet n'a pas de champ fautif",
                  refus->champ);
    } else {
        verifiePrise(std::get<DescriptionMachine>(lu));
    }
    exige(resume(DescriptionMachine::lit(texte)) == resume(lu),
          "les memes octets se lisent pareil");
    return 0;
}
