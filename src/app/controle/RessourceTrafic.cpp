#include "RessourceTrafic.h"

#include "trace/JournalTrafic.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

QList<Route> RessourceTrafic::routes()
{
    return {{QStringLiteral("/journal"), QHttpServerRequest::Method::Get,
             [this](const QHttpServerRequest& r) { return evenements(r); }}};
}

QHttpServerResponse RessourceTrafic::evenements(const QHttpServerRequest& requete) const
{
    if (journal == nullptr)
        return QHttpServerResponse(
            QJsonObject{{QStringLiteral("error"),
                         QStringLiteral("no traffic journal is kept: start Velorin with "
                                        "JOURNAL=file")}},
            QHttpServerResponse::StatusCode::Conflict);
    qint64 depuis = 0;
    const QUrlQuery parametres = requete.query();
    if (parametres.hasQueryItem(QStringLiteral("since"))) {
        bool ok = false;
        depuis = parametres.queryItemValue(QStringLiteral("since")).toLongLong(&ok);
        if (!ok || depuis < 0)
            return refus(QStringLiteral("since must be an event number"), QStringLiteral("since"));
    }
    const JournalTrafic::Extrait extrait = journal->depuis(depuis);
    QJsonArray evenements;
    for (const QByteArray& ligne : extrait.lignes)
        evenements.append(QJsonDocument::fromJson(ligne).object());
    return QHttpServerResponse(QJsonObject{{QStringLiteral("next"), journal->total()},
                                           {QStringLiteral("first"), extrait.premier},
                                           {QStringLiteral("missed"), extrait.perdus},
                                           {QStringLiteral("events"), evenements}});
}
