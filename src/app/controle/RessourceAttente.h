#pragma once

#include "Route.h"

#include <functional>

class Attentes;
class ChampsControle;
class HistoriqueJournal;
class MoteurDefauts;
class PanneauSimulation;

// POST /wait: one condition, answered 200 as soon as it holds, 408 at its time-out.
//   {"fault_fired": id}        the fault rule has fired at least once
//   {"log_contains": "text"}   a log line holds the text (lines after "since", when given)
//   {"arrived": true}          both axes at their demanded positions
//   {"connections": n}         at least n clients on the device port
// with "timeout_ms" (0 to 60000, 10000 unless given).
class RessourceAttente : public RessourceControle
{
public:
    struct Sources
    {
        Attentes& attentes;
        MoteurDefauts& defauts;
        const HistoriqueJournal& lignes;
        const PanneauSimulation& panneau;
        const ChampsControle& champs;
        // Clients connected to the device port.
        std::function<int()> clients;
    };

    explicit RessourceAttente(const Sources& sources_) : sources(sources_) {}
    QList<Route> routes() override;

private:
    void attend(const RequeteControle& requete, const Repondeur& repondeur);
    // What the condition looks at now, and whether it holds.
    struct Vu
    {
        bool tient = false;
        QJsonObject membres;
    };
    using Observation = std::function<Vu()>;
    std::variant<Observation, QHttpServerResponse> condition(const QJsonObject& demande);

    Sources sources;
};
