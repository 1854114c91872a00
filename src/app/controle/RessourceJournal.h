#pragma once

#include "Route.h"
#include "trace/HistoriqueJournal.h"

class Journal;

// GET /log, GET /log?since=N and POST /log/clear. Lines are numbered from this resource's
// creation on, so it is made before start-up.
class RessourceJournal : public RessourceControle
{
public:
    // `efface` is what the clear button does.
    RessourceJournal(Journal& journal, std::function<void()> efface);
    QList<Route> routes() override;

private:
    QHttpServerResponse lignes(const QHttpServerRequest& requete) const;

    Journal& journal;
    std::function<void()> efface;
    HistoriqueJournal historique;
};
