#pragma once

#include "Route.h"

#include <memory>

// A resource of one device among several: its routes under each prefix given ("" for the flat
// routes, "/devices/plc" for that device's).
class RessourcePrefixee : public RessourceControle
{
public:
    RessourcePrefixee(std::unique_ptr<RessourceControle> ressource_, QStringList prefixes_)
        : ressource(std::move(ressource_)), prefixes(std::move(prefixes_))
    {
    }
    QList<Route> routes() override
    {
        const QList<Route> propres = ressource->routes();
        QList<Route> toutes;
        for (const QString& prefixe : std::as_const(prefixes)) {
            for (Route route : propres) {
                route.chemin.prepend(prefixe);
                toutes << std::move(route);
            }
        }
        return toutes;
    }

private:
    std::unique_ptr<RessourceControle> ressource;
    QStringList prefixes;
};
