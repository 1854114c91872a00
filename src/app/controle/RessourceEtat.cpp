#include "RessourceEtat.h"

#include "ChampsControle.h"

#include <QJsonDocument>

QList<Route> RessourceEtat::routes()
{
    using M = QHttpServerRequest::Method;
    return {
        {QStringLiteral("/state"), M::Get,
         [this](auto&) { return QHttpServerResponse(champs.etat()); }},
        {QStringLiteral("/state"), M::Patch,
         [this](const QHttpServerRequest& r) { return modifie(r.body()); }},
    };
}

QHttpServerResponse RessourceEtat::modifie(const QByteArray& corps)
{
    QJsonParseError analyse;
    const QJsonDocument document = QJsonDocument::fromJson(corps, &analyse);
    if (analyse.error != QJsonParseError::NoError)
        return refus(QStringLiteral("invalid JSON"), {}, analyse.errorString());
    if (!document.isObject())
        return refus(QStringLiteral("a JSON object is expected"));
    const QJsonObject demande = document.object();
    if (const auto faute = champs.verifie(demande))
        return refus(faute->raison, faute->champ, faute->detail);
    const QString changes = champs.applique(demande);
    if (!changes.isEmpty())
        journaliseChangement(journal, changes);
    return QHttpServerResponse(champs.etat());
}
