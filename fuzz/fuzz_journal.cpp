// The traffic journal, written then read back: any bytes received come back exactly, any log
// text comes back as valid UTF-8 (a lone surrogate as U+FFFD). Read as a file, any input is
// either read or refused with a line number, never more.
#include "OutilsFuzz.h"
#include "trace/FormatEvenement.h"
#include "trace/LectureJournal.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>
#include <variant>

namespace {

QList<EvenementLu> relit(QByteArray texte)
{
    QBuffer source(&texte);
    source.open(QIODevice::ReadOnly);
    auto lu = litJournal(source);
    const auto* erreur = std::get_if<ErreurJournal>(&lu);
    exige(erreur == nullptr, "une ligne ecrite se relit", erreur ? erreur->message : QString());
    return std::get<QList<EvenementLu>>(lu);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FormatEvenement format;
    const QString octets = enLatin1(data, size);
    const QList<EvenementLu> recu = relit(
        format.ligne(SortieEvenements::Type::Reception, 3, QStringLiteral("[::1]:40000"), &octets));
    exige(recu.size() == 1 && recu[0].type == QLatin1String("recv") && recu[0].canal == 3
              && recu[0].donnees == octets,
          "les octets reviennent tels quels", recu.isEmpty() ? QString() : recu[0].donnees);

    const QString texte = enUtf16(data, size);
    const QList<EvenementLu> log =
        relit(format.ligne(SortieEvenements::Type::Log, -1, QString(), &texte));
    exige(log.size() == 1 && log[0].donnees.size() <= texte.size() * 2,
          "une ligne du journal se relit", texte);

    QByteArray fichier(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer source(&fichier);
    source.open(QIODevice::ReadOnly);
    const auto lu = litJournal(source);
    if (const auto* evenements = std::get_if<QList<EvenementLu>>(&lu))
        conversations(*evenements);
    else
        exige(std::get<ErreurJournal>(lu).ligne >= 0, "l'erreur nomme une ligne");
    return 0;
}
