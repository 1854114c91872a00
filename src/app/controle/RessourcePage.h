#pragma once

#include "Route.h"

#include <QByteArray>

// GET /: the page that shows the devices, their state and log in a browser and edits them
// through this same API. It is built into the program: nothing is read from disk or the
// network to serve it.
class RessourcePage : public RessourceControle
{
public:
    RessourcePage();
    QList<Route> routes() override;

private:
    QByteArray page;
};
