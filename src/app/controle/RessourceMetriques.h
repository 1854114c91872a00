#pragma once

#include "Route.h"

#include <functional>
#include <vector>

class Appareil;
class EtatAppareil;
class MoteurDefauts;

// GET /metrics: the devices' counters and the process's, in the Prometheus text format 0.0.4.
// Everything is read when asked; the request path only adds to plain integers (see
// CompteursAppareil), and what is computed here costs a scrape, never a request.
class RessourceMetriques : public RessourceControle
{
public:
    struct Dispositif
    {
        QString nom; // the `device` label
        Appareil& appareil;
        const EtatAppareil& etat;
    };
    struct Sources
    {
        std::vector<Dispositif> dispositifs;
        // Log lines the log's mirror dropped, and traffic journal events lost: process-wide.
        std::function<qint64()> lignesPerdues;
        std::function<qint64()> evenementsPerdus;
    };

    explicit RessourceMetriques(Sources sources_) : sources(std::move(sources_)) {}
    QList<Route> routes() override;

    // The whole exposition, as GET /metrics gives it.
    QByteArray texte();

private:
    Sources sources;
};
