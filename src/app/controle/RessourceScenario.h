#pragma once

#include "Route.h"

class Scenario;

// POST /scenario: a whole test set-up in one document, applied whole or refused whole.
class RessourceScenario : public RessourceControle
{
public:
    explicit RessourceScenario(Scenario& scenario_) : scenario(scenario_) {}
    QList<Route> routes() override;

private:
    Scenario& scenario;
};
