#include "Route.h"

#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/SortieMessages.h"

QHttpServerResponse refus(const QString& raison, const QString& champ, const QString& detail)
{
    QJsonObject corps{{QStringLiteral("error"), raison}};
    if (!champ.isEmpty())
        corps.insert(QStringLiteral("field"), champ);
    if (!detail.isEmpty())
        corps.insert(QStringLiteral("detail"), detail);
    return QHttpServerResponse(corps, QHttpServerResponse::StatusCode::BadRequest);
}

void journaliseChangement(SortieMessages& journal, const QString& quoi)
{
    journal.AfficheMessage(Horodatage(false, HorlogeSysteme::instance())
                           + QStringLiteral(" controle HTTP : ") + quoi);
}
