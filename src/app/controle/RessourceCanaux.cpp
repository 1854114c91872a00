#include "RessourceCanaux.h"

#include "net/CoucheSocket.h"
#include "net/ServeurCanaux.h"

#include <QJsonArray>

QList<Route> RessourceCanaux::routes()
{
    return {{QStringLiteral("/channels"), RequeteControle::Methode::Get, [this](auto&) {
                 QJsonArray liste;
                 for (int canal = 1; canal <= serveur.NbCanaux(); ++canal) {
                     if (!sockets.existe(canal))
                         continue;
                     const int etat = sockets.State(canal);
                     liste.append(QJsonObject{
                         {QStringLiteral("canal"), canal},
                         {QStringLiteral("state"), etat},
                         {QStringLiteral("label"), ServeurCanaux::LibelleEtatSocket(etat)},
                         {QStringLiteral("remote"), sockets.RemoteHostIP(canal)},
                     });
                 }
                 return QHttpServerResponse(QJsonObject{{QStringLiteral("channels"), liste}});
             }}};
}
