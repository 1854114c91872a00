#include "RessourcePage.h"

#include <QFile>

RessourcePage::RessourcePage()
{
    QFile fichier(QStringLiteral(":/velorin/page.html"));
    if (fichier.open(QIODevice::ReadOnly))
        page = fichier.readAll();
}

QList<Route> RessourcePage::routes()
{
    return {{QStringLiteral("/"), RequeteControle::Methode::Get, [this](auto&) {
                 return QHttpServerResponse(QByteArrayLiteral("text/html; charset=utf-8"), page);
             }}};
}
