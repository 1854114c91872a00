#pragma once

#include "Route.h"
#include "trace/HistoriqueJournal.h"

class Attentes;
class Journal;

// GET /log, GET /log?since=N (with &wait_ms=T, answered as soon as a line comes after N, or
// empty at T) and POST /log/clear. Lines are numbered from this resource's creation on, so it
// is made before start-up.
class RessourceLog : public RessourceControle
{
public:
    // `efface` is what the clear button does.
    RessourceLog(Journal& journal, std::function<void()> efface, Attentes& attentes);
    QList<Route> routes() override;
    // The numbered lines, which the waits look at too.
    const HistoriqueJournal& lignesNumerotees() const { return historique; }

private:
    void lignes(const RequeteControle& requete, const Repondeur& repondeur);
    QHttpServerResponse depuis(qint64 numero) const;

    Journal& journal;
    std::function<void()> efface;
    Attentes& attentes;
    HistoriqueJournal historique;
};
