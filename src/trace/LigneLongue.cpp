#include "LigneLongue.h"

#include "Journal.h"
#include "Lisible.h"
#include "SortieMessages.h"

namespace {

// How much of a too-long line's data the record keeps.
constexpr qsizetype OctetsGardes = 4096;

void affiche(SortieMessages& sortie, const QString& prefixe, const QString& donnees,
             const QString& suffixe, qsizetype longueurDonnees,
             QString (*rendu)(const QString&))
{
    if (prefixe.size() + longueurDonnees + suffixe.size() <= Journal::Capacite) {
        sortie.AfficheMessage(prefixe + rendu(donnees) + suffixe);
        return;
    }
    sortie.AfficheMessageTropLong(prefixe + rendu(donnees.left(OctetsGardes)),
                                  donnees.size() - std::min(donnees.size(), OctetsGardes));
}

QString brut(const QString& donnees)
{
    return donnees;
}

} // namespace

void AfficheLisible(SortieMessages& sortie, const QString& prefixe, const QString& donnees,
                    const QString& suffixe)
{
    affiche(sortie, prefixe, donnees, suffixe, longueurLisible(donnees), &trsfChaineRecuEnLisible);
}

void AfficheBrut(SortieMessages& sortie, const QString& prefixe, const QString& donnees,
                 const QString& suffixe)
{
    affiche(sortie, prefixe, donnees, suffixe, donnees.size(), &brut);
}
