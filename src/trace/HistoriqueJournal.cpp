#include "HistoriqueJournal.h"

#include "Journal.h"

#include <algorithm>

HistoriqueJournal::HistoriqueJournal(const Journal& journal, QObject* parent) : QObject(parent)
{
    connect(&journal, &Journal::messageJournalise, this, &HistoriqueJournal::ajoute);
}

void HistoriqueJournal::ajoute(const QString& ligne)
{
    ++nombre;
    lignes.push_back(ligne);
    caracteres += ligne.size();
    while (!lignes.empty()
           && (qsizetype(lignes.size()) > LignesMax || caracteres > CaracteresMax)) {
        caracteres -= lignes.front().size();
        lignes.pop_front();
    }
}

QStringList HistoriqueJournal::depuis(qint64 apres) const
{
    const qint64 debut = std::max(apres + 1, premierGarde());
    QStringList resultat;
    for (qint64 numero = debut; numero <= nombre; ++numero)
        resultat << lignes[std::size_t(numero - premierGarde())];
    return resultat;
}
