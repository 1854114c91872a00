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

// `apres` is clamped to the total before anything is added to it: a script may ask for any
// number, up to the largest there is.
qint64 HistoriqueJournal::premierApres(qint64 apres) const
{
    return std::max(std::min(apres, nombre) + 1, premierGarde());
}

qint64 HistoriqueJournal::perduesApres(qint64 apres) const
{
    return std::max<qint64>(0, premierGarde() - 1 - std::min(apres, nombre));
}

QStringList HistoriqueJournal::depuis(qint64 apres) const
{
    QStringList resultat;
    for (qint64 numero = premierApres(apres); numero <= nombre; ++numero)
        resultat << lignes[std::size_t(numero - premierGarde())];
    return resultat;
}
