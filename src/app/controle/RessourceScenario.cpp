#include "RessourceScenario.h"

#include "Scenario.h"

QList<Route> RessourceScenario::routes()
{
    return {{QStringLiteral("/scenario"), RequeteControle::Methode::Post,
             [this](const RequeteControle& requete) {
                 auto lu = objetJson(requete.body());
                 if (auto* reponse = std::get_if<QHttpServerResponse>(&lu))
                     return std::move(*reponse);
                 if (const auto faute = scenario.applique(std::get<QJsonObject>(lu)))
                     return refus(faute->code, faute->raison, faute->champ);
                 return QHttpServerResponse(
                     QJsonObject{{QStringLiteral("status"), QStringLiteral("applied")}});
             }}};
}
