#pragma once

#include "Route.h"

#include <QJsonArray>

#include <functional>

// GET /devices: every device the process serves, {"devices": [{"name", "mode", "port",
// "clients"}]}, and the 404 for a path under /devices/ that names none of them.
class RessourceAppareils : public RessourceControle
{
public:
    RessourceAppareils(std::function<QJsonArray()> appareils_,
                       std::function<bool(const QString&)> connu_)
        : appareils(std::move(appareils_)), connu(std::move(connu_))
    {
    }
    QList<Route> routes() override;
    // {"code": "unknown_device"} for /devices/<name>/... when nothing serves <name>; nothing
    // for any other path.
    std::optional<QHttpServerResponse> inconnu(const QString& chemin) const;

private:
    std::function<QJsonArray()> appareils;
    std::function<bool(const QString&)> connu;
};
