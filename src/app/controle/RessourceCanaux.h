#pragma once

#include "Route.h"

class CoucheSocket;
class ServeurCanaux;

// GET /channels: every channel with its state and its client's address.
class RessourceCanaux : public RessourceControle
{
public:
    RessourceCanaux(const ServeurCanaux& serveur_, const CoucheSocket& sockets_)
        : serveur(serveur_), sockets(sockets_)
    {
    }
    QList<Route> routes() override;

private:
    const ServeurCanaux& serveur;
    const CoucheSocket& sockets;
};
