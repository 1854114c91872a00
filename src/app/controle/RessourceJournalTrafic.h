#pragma once

#include "Route.h"

class Attentes;
class JournalTrafic;

// GET /journal and GET /journal?since=N (with &wait_ms=T, answered as soon as an event comes
// after N, or empty at T): the traffic journal's events, as the file has them, from the newest
// kept. Without JOURNAL= no journal is kept, and the answer says so (409).
class RessourceJournalTrafic : public RessourceControle
{
public:
    RessourceJournalTrafic(const JournalTrafic* journal_, Attentes& attentes_)
        : journal(journal_), attentes(attentes_)
    {
    }
    QList<Route> routes() override;

private:
    void evenements(const RequeteControle& requete, const Repondeur& repondeur) const;
    QHttpServerResponse depuis(qint64 numero) const;

    const JournalTrafic* journal;
    Attentes& attentes;
};
