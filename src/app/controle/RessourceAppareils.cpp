#include "RessourceAppareils.h"

QList<Route> RessourceAppareils::routes()
{
    return {{QStringLiteral("/devices"), RequeteControle::Methode::Get, [this](auto&) {
                 return QHttpServerResponse(QJsonObject{{QStringLiteral("devices"), appareils()}});
             }}};
}

std::optional<QHttpServerResponse> RessourceAppareils::inconnu(const QString& chemin) const
{
    static const QString debut = QStringLiteral("/devices/");
    if (!chemin.startsWith(debut))
        return std::nullopt;
    const QString nom = chemin.mid(debut.size()).section(QLatin1Char('/'), 0, 0);
    if (connu(nom))
        return std::nullopt;
    return reponseErreur(QHttpServerResponse::StatusCode::NotFound,
                         QStringLiteral("unknown_device"), QStringLiteral("unknown device"),
                         {{QStringLiteral("device"), nom}, {QStringLiteral("path"), chemin}});
}
