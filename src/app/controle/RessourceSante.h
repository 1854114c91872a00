#pragma once

#include "Route.h"

// GET /health: alive, with what a rig needs to check it talks to the right process.
class RessourceSante : public RessourceControle
{
public:
    // `journal`, with JOURNAL= only: the "journal" member, how its file fares.
    RessourceSante(std::function<quint16()> portEcoute_, std::function<QString()> mode_,
                   std::function<QJsonObject()> journal_ = {})
        : portEcoute(std::move(portEcoute_)), mode(std::move(mode_)), journal(std::move(journal_))
    {
    }
    QList<Route> routes() override;
    // The "devices" member: the names of the devices served.
    void setAppareils(std::function<QStringList()> noms) { appareils = std::move(noms); }

private:
    std::function<QStringList()> appareils;
    std::function<quint16()> portEcoute;
    std::function<QString()> mode;
    std::function<QJsonObject()> journal;
};
