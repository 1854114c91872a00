#pragma once

#include "Route.h"

class ChampsControle;

// POST /reset: the device state back to its start; channels, log and "flux IP" stay. It
// answers the new state.
class RessourceReinitialisation : public RessourceControle
{
public:
    RessourceReinitialisation(std::function<void()> reinitialise_, const ChampsControle& champs_,
                              SortieMessages& journal_)
        : reinitialise(std::move(reinitialise_)), champs(champs_), journal(journal_)
    {
    }
    QList<Route> routes() override;

private:
    std::function<void()> reinitialise;
    const ChampsControle& champs;
    SortieMessages& journal;
};
