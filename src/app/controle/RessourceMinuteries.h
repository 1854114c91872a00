#pragma once

#include "Route.h"

class RetardTic;

// GET /timers and POST /timers/reset: how late Timer_Deplacement ticks, the measure of how
// well the window keeps up under load.
class RessourceMinuteries : public RessourceControle
{
public:
    explicit RessourceMinuteries(RetardTic& retard_) : retard(retard_) {}
    QList<Route> routes() override;

private:
    QHttpServerResponse etat() const;

    RetardTic& retard;
};
