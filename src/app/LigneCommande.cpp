#include "LigneCommande.h"

#include <array>

namespace {

const std::array<QLatin1String, 18> Cles = {
    QLatin1String("PORTIP="),
    QLatin1String("MODE="),
    QLatin1String("CONTROL="),
    QLatin1String("CONTROL_BIND="),
    QLatin1String("LOG="),
    QLatin1String("READY="),
    QLatin1String("TRACE="),
    QLatin1String("BIND="),
    QLatin1String("CLOCK="),
    QLatin1String("SEED="),
    QLatin1String("SCENARIO="),
    QLatin1String("FRAMING="),
    QLatin1String("JOURNAL="),
    QLatin1String("JOURNAL_MAX="),
    QLatin1String("PROXY="),
    QLatin1String("PLAYBACK="),
    QLatin1String("PLAYBACK_FALLBACK="),
    QLatin1String("SHUTDOWN_PAUSE_MS="),
};

// Where `cle` stands in the text, not counting where it only ends a longer key (BIND= inside
// CONTROL_BIND=).
qsizetype trouveCle(const QString& majuscules, QLatin1String cle)
{
    for (qsizetype position = majuscules.indexOf(cle); position >= 0;
         position = majuscules.indexOf(cle, position + 1)) {
        bool partieDUneAutre = false;
        for (QLatin1String autre : Cles) {
            const qsizetype avance = autre.size() - cle.size();
            partieDUneAutre =
                partieDUneAutre
                || (avance > 0 && autre.endsWith(cle) && position >= avance
                    && QStringView(majuscules).mid(position - avance).startsWith(autre));
        }
        if (!partieDUneAutre)
            return position;
    }
    return -1;
}

// The value after the key, up to the first blank. `texte` gives it in its own letter case when
// upper-casing kept every position where it was.
std::optional<QString> valeurCle(const QString& texte, const QString& majuscules, QLatin1String cle,
                                 bool casseTapee = false)
{
    const qsizetype position = trouveCle(majuscules, cle);
    if (position < 0)
        return std::nullopt;
    const qsizetype debut = position + cle.size();
    const qsizetype blanc = majuscules.indexOf(QLatin1Char(' '), debut);
    const qsizetype longueur = blanc < 0 ? -1 : blanc - debut;
    const QString& source = casseTapee && texte.size() == majuscules.size() ? texte : majuscules;
    return source.mid(debut, longueur);
}

bool cleConnue(const QString& jeton)
{
    const QString nom = jeton.left(jeton.indexOf(QLatin1Char('=')) + 1).toUpper();
    for (QLatin1String cle : Cles) {
        if (nom.endsWith(cle))
            return true;
    }
    return false;
}

// The text without the values that name a file or an address: a "?" there is no request for
// help.
QString sansChemins(QString majuscules)
{
    for (QLatin1String cle :
         {QLatin1String("LOG="), QLatin1String("READY="), QLatin1String("BIND="),
          QLatin1String("CONTROL_BIND="), QLatin1String("SCENARIO="), QLatin1String("JOURNAL="),
          QLatin1String("PROXY="), QLatin1String("PLAYBACK=")}) {
        const qsizetype position = trouveCle(majuscules, cle);
        if (position < 0)
            continue;
        qsizetype fin = majuscules.indexOf(QLatin1Char(' '), position);
        if (fin < 0)
            fin = majuscules.size();
        for (qsizetype i = position; i < fin; ++i)
            majuscules[i] = QLatin1Char(' ');
    }
    return majuscules;
}

} // namespace

LigneCommande LigneCommande::lire(const QString& texte)
{
    const QString majuscules = texte.toUpper();
    LigneCommande ligne;
    ligne.aide = sansChemins(majuscules).contains(QLatin1Char('?'));
    ligne.portIP = valeurCle(texte, majuscules, QLatin1String("PORTIP="));
    ligne.mode = valeurCle(texte, majuscules, QLatin1String("MODE="));
    ligne.portControle = valeurCle(texte, majuscules, QLatin1String("CONTROL="));
    ligne.journal = valeurCle(texte, majuscules, QLatin1String("LOG="), true);
    ligne.fichierPret = valeurCle(texte, majuscules, QLatin1String("READY="), true);
    ligne.adresse = valeurCle(texte, majuscules, QLatin1String("BIND="), true);
    ligne.adresseControle = valeurCle(texte, majuscules, QLatin1String("CONTROL_BIND="), true);
    ligne.horloge = valeurCle(texte, majuscules, QLatin1String("CLOCK="));
    ligne.graine = valeurCle(texte, majuscules, QLatin1String("SEED="));
    ligne.scenario = valeurCle(texte, majuscules, QLatin1String("SCENARIO="), true);
    ligne.decoupage = valeurCle(texte, majuscules, QLatin1String("FRAMING="));
    ligne.journalTrafic = valeurCle(texte, majuscules, QLatin1String("JOURNAL="), true);
    ligne.tailleJournalTrafic = valeurCle(texte, majuscules, QLatin1String("JOURNAL_MAX="));
    ligne.relais = valeurCle(texte, majuscules, QLatin1String("PROXY="), true);
    ligne.rejeu = valeurCle(texte, majuscules, QLatin1String("PLAYBACK="), true);
    ligne.rejeuSinon = valeurCle(texte, majuscules, QLatin1String("PLAYBACK_FALLBACK="));
    ligne.pauseArret = valeurCle(texte, majuscules, QLatin1String("SHUTDOWN_PAUSE_MS="));
    ligne.trace = valeurCle(texte, majuscules, QLatin1String("TRACE=")) == QLatin1String("ON");
    const QStringList jetons = texte.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& jeton : jetons) {
        if (jeton.indexOf(QLatin1Char('=')) > 0 && !cleConnue(jeton))
            ligne.inconnus << jeton;
    }
    return ligne;
}

bool LigneCommande::journalStdout() const
{
    return journal && journal->compare(QLatin1String("STDOUT"), Qt::CaseInsensitive) == 0;
}

bool LigneCommande::journalCoupe() const
{
    return journal && journal->compare(QLatin1String("OFF"), Qt::CaseInsensitive) == 0;
}

std::optional<quint16> portValide(const QString& texte)
{
    if (texte.isEmpty())
        return std::nullopt;
    for (const QChar c : texte) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const int port = texte.toInt(&ok);
    if (!ok || port < 0 || port > 65535)
        return std::nullopt;
    return quint16(port);
}
