// The command line: LigneCommande::lire on any text, and portValide on what it found, both
// checked against what the keys mean. The bytes are read as Latin-1 and, as the program's
// arguments are, as UTF-8.
#include "LigneCommande.h"
#include "OutilsFuzz.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

// 0 to 65535 in ASCII digits only, leading zeros allowed.
bool portAttendu(const QString& texte, quint16& port)
{
    if (texte.isEmpty())
        return false;
    quint32 valeur = 0;
    for (const QChar c : texte) {
        if (c.unicode() < u'0' || c.unicode() > u'9')
            return false;
        valeur = std::min<quint32>(valeur * 10 + (c.unicode() - u'0'), 100000);
    }
    port = quint16(valeur);
    return valeur <= 65535;
}

void verifiePort(const QString& texte)
{
    quint16 attendu = 0;
    const bool valide = portAttendu(texte, attendu);
    const std::optional<quint16> port = portValide(texte);
    exige(port.has_value() == valide, "portValide accepte 0 a 65535 en chiffres", texte);
    exige(!port || *port == attendu, "portValide lit le nombre ecrit", texte);
}

// A value runs from its key to the first blank of the upper-cased text.
void verifieValeur(const QString& majuscules, const std::optional<QString>& valeur,
                   QLatin1String cle)
{
    const qsizetype position = majuscules.indexOf(cle);
    exige(valeur.has_value() == (position >= 0), "une cle est lue si elle est la", cle);
    if (!valeur)
        return;
    exige(!valeur->contains(QLatin1Char(' ')), "une valeur s'arrete au premier blanc", *valeur);
    exige(majuscules.mid(position + cle.size()).startsWith(*valeur), "une valeur suit sa cle",
          *valeur);
    verifiePort(*valeur);
}

void verifie(const QString& texte)
{
    const LigneCommande ligne = LigneCommande::lire(texte);
    const QString majuscules = texte.toUpper();
    // A "?" asks for help, but not inside the value of a file or an address.
    // The keys whose values keep their typed case, from the one table every reader shares.
    const auto& cles = clesLigneCommande();
    const bool chemins = std::any_of(cles.begin(), cles.end(), [&](const CleLigneCommande& cle) {
        return cle.casseTapee && majuscules.contains(cle.nom);
    });
    exige(!ligne.aide || majuscules.contains(QLatin1Char('?')), "l'aide vient d'un ?", texte);
    exige(chemins || ligne.aide == majuscules.contains(QLatin1Char('?')), "? demande l'aide",
          texte);
    verifieValeur(majuscules, ligne.portIP, QLatin1String("PORTIP="));
    verifieValeur(majuscules, ligne.mode, QLatin1String("MODE="));
    verifieValeur(majuscules, ligne.portControle, QLatin1String("CONTROL="));
    const qsizetype log = majuscules.indexOf(QLatin1String("LOG="));
    const QString valeurLog = majuscules.mid(log + 4).section(QLatin1Char(' '), 0, 0);
    const bool copie = log >= 0 && valeurLog == QLatin1String("STDOUT");
    exige(ligne.journalStdout() == copie, "LOG=STDOUT, et rien de plus, copie le journal", texte);
    // Values kept in their typed case never hold a blank, and name a key of the text.
    for (const auto& valeur :
         {ligne.journal, ligne.fichierPret, ligne.adresse, ligne.adresseControle})
        exige(!valeur || !valeur->contains(QLatin1Char(' ')),
              "une valeur s'arrete au premier blanc", valeur.value_or(QString()));
    for (const QString& inconnu : ligne.inconnus)
        exige(texte.contains(inconnu) && inconnu.contains(QLatin1Char('=')),
              "un parametre inconnu est un mot du texte", inconnu);
    verifiePort(texte);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    verifie(enLatin1(data, size));
    verifie(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
