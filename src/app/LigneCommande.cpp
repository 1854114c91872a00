#include "LigneCommande.h"

namespace {

std::optional<QString> valeurCle(const QString& majuscules, QLatin1String cle)
{
    const qsizetype position = majuscules.indexOf(cle);
    if (position < 0)
        return std::nullopt;
    const qsizetype debut = position + cle.size();
    const qsizetype blanc = majuscules.indexOf(QLatin1Char(' '), debut);
    return majuscules.mid(debut, blanc < 0 ? -1 : blanc - debut);
}

} // namespace

LigneCommande LigneCommande::lire(const QString& texte)
{
    const QString majuscules = texte.toUpper();
    LigneCommande ligne;
    ligne.aide = majuscules.contains(QLatin1Char('?'));
    ligne.portIP = valeurCle(majuscules, QLatin1String("PORTIP="));
    ligne.mode = valeurCle(majuscules, QLatin1String("MODE="));
    ligne.portControle = valeurCle(majuscules, QLatin1String("CONTROL="));
    ligne.journalStdout = valeurCle(majuscules, QLatin1String("LOG=")) == QLatin1String("STDOUT");
    return ligne;
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
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return quint16(port);
}
