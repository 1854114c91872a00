#include "ServeurEcoute.h"

ServeurEcoute::ServeurEcoute(Demande surDemande_, QObject* parent)
    : QTcpServer(parent), surDemande(std::move(surDemande_))
{
}

void ServeurEcoute::incomingConnection(qintptr descripteur)
{
    surDemande(descripteur);
}
