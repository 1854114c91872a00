#include "RessourceLog.h"

#include "Attentes.h"
#include "trace/Journal.h"

#include <QJsonArray>
#include <QUrlQuery>

RessourceLog::RessourceLog(Journal& journal_, std::function<void()> efface_, Attentes& attentes_)
    : journal(journal_), efface(std::move(efface_)), attentes(attentes_), historique(journal_)
{
}

QList<Route> RessourceLog::routes()
{
    using M = RequeteControle::Methode;
    return {
        {QStringLiteral("/log"),
         M::Get,
         {},
         [this](const RequeteControle& r, const Repondeur& repondeur) { lignes(r, repondeur); }},
        {QStringLiteral("/log/clear"), M::Post,
         [this](auto&) {
             efface();
             journaliseChangement(journal, QStringLiteral("zone message effacée"));
             return QHttpServerResponse(QJsonObject{{QStringLiteral("next"), historique.total()}});
         }},
    };
}

void RessourceLog::lignes(const RequeteControle& requete, const Repondeur& repondeur)
{
    const QUrlQuery parametres = requete.query();
    const bool attente = parametres.hasQueryItem(QStringLiteral("wait_ms"));
    if (parametres.hasQueryItem(QStringLiteral("since"))) {
        bool ok = false;
        const qint64 numero = parametres.queryItemValue(QStringLiteral("since")).toLongLong(&ok);
        if (!ok || numero < 0)
            return repondeur(refus(QStringLiteral("invalid_value"),
                                   QStringLiteral("since must be a line number"),
                                   QStringLiteral("since")));
        if (!attente)
            return repondeur(depuis(numero));
        const auto delai = Attentes::delai(parametres.queryItemValue(QStringLiteral("wait_ms")),
                                           QStringLiteral("wait_ms"));
        if (const auto* faute = std::get_if<QHttpServerResponse>(&delai))
            return repondeur(*faute);
        attentes.ajouteApres(
            repondeur, [this] { return historique.total(); }, numero,
            [this, numero] { return depuis(numero); }, std::get<int>(delai));
        return;
    }
    if (attente)
        return repondeur(refus(QStringLiteral("bad_combination"),
                               QStringLiteral("wait_ms goes with since"),
                               QStringLiteral("wait_ms")));
    QJsonObject reponse{{QStringLiteral("next"), historique.total()}};
    QStringList affichees = journal.contenu().split(QStringLiteral("\r\n"));
    affichees.removeLast(); // after the final line end
    reponse.insert(QStringLiteral("lines"), QJsonArray::fromStringList(affichees));
    repondeur(QHttpServerResponse(reponse));
}

// Lines too old to be kept are counted, so a script knows it missed some.
QHttpServerResponse RessourceLog::depuis(qint64 numero) const
{
    return QHttpServerResponse(QJsonObject{
        {QStringLiteral("next"), historique.total()},
        {QStringLiteral("first"), historique.premierApres(numero)},
        {QStringLiteral("missed"), historique.perduesApres(numero)},
        {QStringLiteral("lines"), QJsonArray::fromStringList(historique.depuis(numero))}});
}
