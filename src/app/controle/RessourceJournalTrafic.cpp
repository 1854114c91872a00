#include "RessourceJournalTrafic.h"

#include "Attentes.h"
#include "trace/JournalTrafic.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

QList<Route> RessourceJournalTrafic::routes()
{
    return {{QStringLiteral("/journal"),
             RequeteControle::Methode::Get,
             {},
             [this](const RequeteControle& r, const Repondeur& repondeur) {
                 evenements(r, repondeur);
             }}};
}

void RessourceJournalTrafic::evenements(const RequeteControle& requete,
                                        const Repondeur& repondeur) const
{
    if (journal == nullptr)
        return repondeur(reponseErreur(QHttpServerResponse::StatusCode::Conflict,
                                       QStringLiteral("no_journal"),
                                       QStringLiteral("no traffic journal is kept: start Velorin "
                                                      "with JOURNAL=file")));
    qint64 numero = 0;
    const QUrlQuery parametres = requete.query();
    const bool depuisDonne = parametres.hasQueryItem(QStringLiteral("since"));
    if (depuisDonne) {
        bool ok = false;
        numero = parametres.queryItemValue(QStringLiteral("since")).toLongLong(&ok);
        if (!ok || numero < 0)
            return repondeur(refus(QStringLiteral("invalid_value"),
                                   QStringLiteral("since must be an event number"),
                                   QStringLiteral("since")));
    }
    if (!parametres.hasQueryItem(QStringLiteral("wait_ms")))
        return repondeur(depuis(numero));
    if (!depuisDonne)
        return repondeur(refus(QStringLiteral("bad_combination"),
                               QStringLiteral("wait_ms goes with since"),
                               QStringLiteral("wait_ms")));
    const auto delai = Attentes::delai(parametres.queryItemValue(QStringLiteral("wait_ms")),
                                       QStringLiteral("wait_ms"));
    if (const auto* faute = std::get_if<QHttpServerResponse>(&delai))
        return repondeur(*faute);
    attentes.ajouteApres(
        repondeur, [this] { return journal->total(); }, numero,
        [this, numero] { return depuis(numero); }, std::get<int>(delai));
}

QHttpServerResponse RessourceJournalTrafic::depuis(qint64 numero) const
{
    const JournalTrafic::Extrait extrait = journal->depuis(numero);
    QJsonArray liste;
    for (const QByteArray& ligne : extrait.lignes)
        liste.append(QJsonDocument::fromJson(ligne).object());
    return QHttpServerResponse(QJsonObject{{QStringLiteral("next"), journal->total()},
                                           {QStringLiteral("first"), extrait.premier},
                                           {QStringLiteral("missed"), extrait.perdus},
                                           {QStringLiteral("events"), liste}});
}
