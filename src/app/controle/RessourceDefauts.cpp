#include "RessourceDefauts.h"

#include "sim/MoteurDefauts.h"

#include <QJsonArray>
#include <QStringList>
#include <QUrlQuery>

QList<Route> RessourceDefauts::routes()
{
    using M = RequeteControle::Methode;
    const auto liste = [this] {
        return QHttpServerResponse(QJsonObject{{QStringLiteral("faults"), moteur.liste()}});
    };
    return {
        {QStringLiteral("/faults"), M::Get,
         [this, liste](const RequeteControle& requete) {
             const QUrlQuery parametres = requete.query();
             if (!parametres.hasQueryItem(QStringLiteral("all")))
                 return liste();
             const QString tout = parametres.queryItemValue(QStringLiteral("all"));
             if (tout != QLatin1String("true") && tout != QLatin1String("false"))
                 return refus(QStringLiteral("wrong_type"),
                              QStringLiteral("true or false is expected"), QStringLiteral("all"));
             return QHttpServerResponse(QJsonObject{
                 {QStringLiteral("faults"), moteur.liste(tout == QLatin1String("true"))}});
         }},
        {QStringLiteral("/faults"), M::Post,
         [this](const RequeteControle& requete) {
             auto lu = valeurJson(requete.body());
             if (auto* reponse = std::get_if<QHttpServerResponse>(&lu))
                 return std::move(*reponse);
             auto ajoutees = moteur.ajoute(std::get<QJsonValue>(lu));
             if (auto* erreur = std::get_if<RegleDefaut::Erreur>(&ajoutees))
                 return refus(erreur->code, erreur->raison, erreur->champ);
             QJsonArray ids;
             QStringList numeros;
             for (int id : std::get<QList<int>>(ajoutees)) {
                 ids.append(id);
                 numeros << QString::number(id);
             }
             if (!numeros.isEmpty())
                 journaliseChangement(journal, QStringLiteral("règles de défaut ajoutées : n° ")
                                                   + numeros.join(QStringLiteral(", ")));
             return QHttpServerResponse(QJsonObject{{QStringLiteral("ids"), ids}});
         }},
        {QStringLiteral("/faults"), M::Delete,
         [this, liste](auto&) {
             moteur.vide();
             journaliseChangement(journal, QStringLiteral("règles de défaut effacées"));
             return liste();
         }},
        {QStringLiteral("/faults/<arg>"), M::Delete,
         [this](const RequeteControle& requete) {
             bool ok = false;
             const int id = requete.url().path().section(QLatin1Char('/'), -1).toInt(&ok);
             if (!ok || !moteur.retire(id))
                 return reponseErreur(
                     QHttpServerResponse::StatusCode::NotFound, QStringLiteral("no_such_rule"),
                     QStringLiteral("no such rule"),
                     {{QStringLiteral("id"), requete.url().path().section(QLatin1Char('/'), -1)}});
             journaliseChangement(journal, QStringLiteral("règle de défaut n° %1 retirée").arg(id));
             return QHttpServerResponse(QJsonObject{{QStringLiteral("faults"), moteur.liste()}});
         }},
    };
}
