#include "Route.h"

#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/MembreInconnu.h"
#include "trace/SortieMessages.h"

#include <QJsonArray>
#include <QJsonDocument>

QHttpServerResponse reponseErreur(QHttpServerResponse::StatusCode statut, const QString& code,
                                  const QString& message, const QJsonObject& autres)
{
    QJsonObject corps = autres;
    corps.insert(QStringLiteral("error"), message);
    corps.insert(QStringLiteral("code"), code);
    return QHttpServerResponse(corps, statut);
}

QHttpServerResponse refus(const QString& code, const QString& raison, const QString& champ,
                          const QString& detail)
{
    QJsonObject autres;
    if (!champ.isEmpty())
        autres.insert(QStringLiteral("field"), champ);
    if (!detail.isEmpty())
        autres.insert(QStringLiteral("detail"), detail);
    return reponseErreur(QHttpServerResponse::StatusCode::BadRequest, code, raison, autres);
}

std::optional<QHttpServerResponse> champsInconnus(const QJsonObject& objet,
                                                  const QStringList& connus)
{
    if (const auto inconnu = membreInconnu(objet, connus))
        return refus(MembreInconnu::code(), MembreInconnu::raison(), inconnu->champ);
    return std::nullopt;
}

std::variant<QJsonValue, QHttpServerResponse> valeurJson(const QByteArray& corps)
{
    QJsonParseError analyse;
    const QJsonDocument document = QJsonDocument::fromJson(corps, &analyse);
    if (analyse.error != QJsonParseError::NoError)
        return refus(QStringLiteral("bad_json"), QStringLiteral("invalid JSON"), {},
                     analyse.errorString());
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
        return refus(QStringLiteral("wrong_type"), QStringLiteral("a JSON object is expected"));
    return std::get<QJsonValue>(valeur).toObject();
}

void journaliseChangement(SortieMessages& journal, const QString& quoi)
{
    journal.AfficheMessage(Horodatage(false, HorlogeSysteme::instance())
                           + QStringLiteral(" controle HTTP : ") + quoi);
}
