#include "RessourceJournal.h"

#include "trace/Journal.h"

#include <QJsonArray>
#include <QUrlQuery>

RessourceJournal::RessourceJournal(Journal& journal_, std::function<void()> efface_)
    : journal(journal_), efface(std::move(efface_)), historique(journal_)
{
}

QList<Route> RessourceJournal::routes()
{
    using M = QHttpServerRequest::Method;
    return {
        {QStringLiteral("/log"), M::Get, [this](const QHttpServerRequest& r) { return lignes(r); }},
        {QStringLiteral("/log/clear"), M::Post,
         [this](auto&) {
             efface();
             journaliseChangement(journal, QStringLiteral("zone message effacée"));
             return QHttpServerResponse(QJsonObject{{QStringLiteral("next"), historique.total()}});
         }},
    };
}

QHttpServerResponse RessourceJournal::lignes(const QHttpServerRequest& requete) const
{
    const QUrlQuery parametres = requete.query();
    QJsonObject reponse{{QStringLiteral("next"), historique.total()}};
    if (parametres.hasQueryItem(QStringLiteral("since"))) {
        bool ok = false;
        const qint64 depuis = parametres.queryItemValue(QStringLiteral("since")).toLongLong(&ok);
        if (!ok || depuis < 0)
            return refus(QStringLiteral("since must be a line number"), QStringLiteral("since"));
        // Lines too old to be kept are counted, so a script knows it missed some.
        reponse.insert(QStringLiteral("first"), historique.premierApres(depuis));
        reponse.insert(QStringLiteral("missed"), historique.perduesApres(depuis));
        reponse.insert(QStringLiteral("lines"),
                       QJsonArray::fromStringList(historique.depuis(depuis)));
        return QHttpServerResponse(reponse);
    }
    QStringList affichees = journal.contenu().split(QStringLiteral("\r\n"));
    affichees.removeLast(); // after the final line end
    reponse.insert(QStringLiteral("lines"), QJsonArray::fromStringList(affichees));
    return QHttpServerResponse(reponse);
}
