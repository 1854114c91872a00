#pragma once

#include "Route.h"

class MoteurDefauts;

// GET /faults (with ?all=true, also the rules used up or over, and every rule's last firings),
// POST /faults (one rule, a list, or {"seed": n, "faults": [...]}, taken whole or
// refused whole), DELETE /faults and DELETE /faults/<id>.
class RessourceDefauts : public RessourceControle
{
public:
    RessourceDefauts(MoteurDefauts& moteur_, SortieMessages& journal_)
        : moteur(moteur_), journal(journal_)
    {
    }
    QList<Route> routes() override;

private:
    MoteurDefauts& moteur;
    SortieMessages& journal;
};
