#pragma once

#include "Route.h"

class MoteurDefauts;

// GET /faults, POST /faults (one rule, a list, or {"seed": n, "faults": [...]}, taken whole or
// refused whole), DELETE /faults and DELETE /faults/<id>.
class RessourceDefauts : public RessourceControle
{
public:
    explicit RessourceDefauts(MoteurDefauts& moteur_) : moteur(moteur_) {}
    QList<Route> routes() override;

private:
    MoteurDefauts& moteur;
};
