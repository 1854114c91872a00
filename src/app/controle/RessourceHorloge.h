#pragma once

#include "Route.h"

class ChampsControle;
class HorlogeDispositif;
class PanneauSimulation;

// GET /clock, PATCH /clock and POST /clock/advance: how the device clock runs, its speed or
// mode, and device time run on demand, exactly, before the answer.
class RessourceHorloge : public RessourceControle
{
public:
    RessourceHorloge(HorlogeDispositif& horloge_, const PanneauSimulation& panneau_,
                     const ChampsControle& champs_)
        : horloge(horloge_), panneau(panneau_), champs(champs_)
    {
    }
    QList<Route> routes() override;
    // Where "until": "arrived" stops when the clock drives several devices: every one's axes
    // at their demands (by default, the panel's).
    void setArrivee(std::function<bool()> arrivee_) { arrivee = std::move(arrivee_); }

private:
    bool arrives() const;

    QJsonObject etat() const;
    QHttpServerResponse modifie(const QByteArray& corps);
    QHttpServerResponse avance(const QByteArray& corps);

    HorlogeDispositif& horloge;
    const PanneauSimulation& panneau;
    const ChampsControle& champs;
    std::function<bool()> arrivee;
};
