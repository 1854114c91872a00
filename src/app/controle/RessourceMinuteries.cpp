#include "RessourceMinuteries.h"

#include "trace/RetardTic.h"

QList<Route> RessourceMinuteries::routes()
{
    using M = RequeteControle::Methode;
    return {
        {QStringLiteral("/timers"), M::Get, [this](auto&) { return etat(); }},
        {QStringLiteral("/timers/reset"), M::Post,
         [this](auto&) {
             retard.reinitialise();
             return etat();
         }},
    };
}

QHttpServerResponse RessourceMinuteries::etat() const
{
    return QHttpServerResponse(
        QJsonObject{{QStringLiteral("Timer_Deplacement"),
                     QJsonObject{{QStringLiteral("interval_ms"), retard.periodeMs()},
                                 {QStringLiteral("ticks"), retard.tics()},
                                 {QStringLiteral("late_max_ms"), retard.retardMaxMs()}}}});
}
