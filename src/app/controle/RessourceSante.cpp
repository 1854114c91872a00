#include "RessourceSante.h"

#include <QCoreApplication>
#include <QJsonArray>

QList<Route> RessourceSante::routes()
{
    return {{QStringLiteral("/health"), RequeteControle::Methode::Get, [this](auto&) {
                 QJsonObject sante{
                     {QStringLiteral("status"), QStringLiteral("ok")},
                     {QStringLiteral("version"), QStringLiteral(VELORIN_VERSION)},
                     {QStringLiteral("pid"), QCoreApplication::applicationPid()},
                     {QStringLiteral("port"), int(portEcoute())},
                     {QStringLiteral("mode"), mode()},
                 };
                 if (appareils)
                     sante.insert(QStringLiteral("devices"),
                                  QJsonArray::fromStringList(appareils()));
                 if (journal)
                     sante.insert(QStringLiteral("journal"), journal());
                 return QHttpServerResponse(sante);
             }}};
}
