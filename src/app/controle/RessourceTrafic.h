#pragma once

#include "Route.h"

class JournalTrafic;

// GET /journal and GET /journal?since=N: the traffic journal's events, as the file has them,
// from the newest kept. Without JOURNAL= no journal is kept, and the answer says so (409).
class RessourceTrafic : public RessourceControle
{
public:
    explicit RessourceTrafic(const JournalTrafic* journal_) : journal(journal_) {}
    QList<Route> routes() override;

private:
    QHttpServerResponse evenements(const QHttpServerRequest& requete) const;

    const JournalTrafic* journal;
};
