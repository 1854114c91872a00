#include "RessourceSante.h"

#include <QCoreApplication>

QList<Route> RessourceSante::routes()
{
    return {{QStringLiteral("/health"), RequeteControle::Methode::Get, [this](auto&) {
                 return QHttpServerResponse(QJsonObject{
                     {QStringLiteral("status"), QStringLiteral("ok")},
                     {QStringLiteral("version"), QStringLiteral(VELORIN_VERSION)},
                     {QStringLiteral("pid"), QCoreApplication::applicationPid()},
                     {QStringLiteral("port"), int(portEcoute())},
                     {QStringLiteral("mode"), mode()},
                 });
             }}};
}
