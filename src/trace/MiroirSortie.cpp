#include "MiroirSortie.h"

#include "Journal.h"

MiroirSortie::MiroirSortie(const Journal& journal, int descripteur, bool proprietaire,
                           qsizetype taille, QObject* parent)
    : SortieLignes(descripteur, proprietaire, {taille, &MiroirSortie::ligneDePerte}, parent)
{
    connect(&journal, &Journal::messageJournalise, this, &MiroirSortie::ecrit);
}

QByteArray MiroirSortie::ligneDePerte(qint64 lignes)
{
    return QByteArray::number(lignes)
           + " lignes du journal perdues : la sortie ne les lisait pas\n";
}
