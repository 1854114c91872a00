#pragma once

#include "Route.h"

class ChampsControle;

// POST /reset: the device state back to its start; channels, log and "flux IP" stay. With
// {"clock": true} device time and the tick count go back to 0 too. It answers the new state.
class RessourceReinitialisation : public RessourceControle
{
public:
    RessourceReinitialisation(std::function<void()> reinitialise_,
                              std::function<void()> remetHorloge_, const ChampsControle& champs_,
                              SortieMessages& journal_)
        : reinitialise(std::move(reinitialise_)), remetHorloge(std::move(remetHorloge_)),
          champs(champs_), journal(journal_)
    {
    }
    QList<Route> routes() override;

private:
    QHttpServerResponse remet(const QByteArray& corps);

    std::function<void()> reinitialise;
    std::function<void()> remetHorloge;
    const ChampsControle& champs;
    SortieMessages& journal;
};
