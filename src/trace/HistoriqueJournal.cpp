#include "HistoriqueJournal.h"

#include "Journal.h"

HistoriqueJournal::HistoriqueJournal(const Journal& journal, QObject* parent) : QObject(parent)
{
    connect(&journal, &Journal::messageJournalise, this,
            [this](const QString& ligne) { anneau.ajoute(ligne); });
}
