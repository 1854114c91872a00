#include "LigneLongue.h"

#include "Lisible.h"
#include "SortieMessages.h"

void AfficheLisible(SortieMessages& sortie, const QString& prefixe, const QString& donnees,
                    const QString& suffixe)
{
    sortie.AfficheMessage(prefixe + trsfChaineRecuEnLisible(donnees) + suffixe);
}

void AfficheBrut(SortieMessages& sortie, const QString& prefixe, const QString& donnees,
                 const QString& suffixe)
{
    sortie.AfficheMessage(prefixe + donnees + suffixe);
}
