#include "RessourceEtat.h"

#include "ChampsControle.h"

#include <QJsonDocument>

QList<Route> RessourceEtat::routes()
{
    using M = RequeteControle::Methode;
    return {
        {QStringLiteral("/state"), M::Get,
         [this](auto&) { return QHttpServerResponse(champs.etat()); }},
        {QStringLiteral("/state"), M::Patch,
         [this](const RequeteControle& r) { return modifie(r.body()); }},
    };
}

QHttpServerResponse RessourceEtat::modifie(const QByteArray& corps)
{
    auto lu = objetJson(corps);
    if (auto* reponse = std::get_if<QHttpServerResponse>(&lu))
        return std::move(*reponse);
    const QJsonObject demande = std::get<QJsonObject>(lu);
    if (const auto faute = champs.verifie(demande))
        return refus(faute->code, faute->raison, faute->champ, faute->detail);
    const QString changes = champs.applique(demande);
    if (!changes.isEmpty())
        journaliseChangement(journal, changes);
    return QHttpServerResponse(champs.etat());
}
