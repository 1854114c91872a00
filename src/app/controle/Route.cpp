#include "Route.h"

#include "trace/Horloge.h"

#include "trace/Horodatage.h"
#include "trace/SortieMessages.h"
#include <QJsonArray>
#include <QJsonDocument>

QHttpServerResponse refus(const QString& raison, const QString& champ, const QString& detail)
{
    QJsonObject corps{{QStringLiteral("error"), raison}};
    if (!champ.isEmpty())
        corps.insert(QStringLiteral("field"), champ);
    if (!detail.isEmpty())
        corps.insert(QStringLiteral("detail"), detail);
    return QHttpServerResponse(corps, QHttpServerResponse::StatusCode::BadRequest);
}

std::variant<QJsonValue, QHttpServerResponse> valeurJson(const QByteArray& corps)
{
    QJsonParseError analyse;
    const QJsonDocument document = QJsonDocument::fromJson(corps, &analyse);
    if (analyse.error != QJsonParseError::NoError)
        return refus(QStringLiteral("invalid JSON"), {}, analyse.errorString());
    if (document.isArray())
        return QJsonValue(document.array());
    return QJsonValue(document.object());
}

std::variant<QJsonObject, QHttpServerResponse> objetJson(const QByteArray& corps)
{
    auto valeur = valeurJson(corps);
    if (auto* reponse = std::get_if<QHttpServerResponse>(&valeur))
        return std::move(*reponse);
    if (!std::get<QJsonValue>(valeur).isObject())
        return refus(QStringLiteral("a JSON object is expected"));
    return std::get<QJsonValue>(valeur).toObject();
}

void journaliseChangement(SortieMessages& journal, const QString& quoi)
{
    journal.AfficheMessage(Horodatage(false, HorlogeSysteme::instance())
                           + QStringLiteral(" controle HTTP : ") + quoi);
}
