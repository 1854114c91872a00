#include "RessourceHorloge.h"

#include "ChampsControle.h"
#include "Scenario.h"
#include "sim/HorlogeDispositif.h"
#include "sim/MouvementAxes.h"

#include <QJsonDocument>

#include <cmath>
#include <optional>
#include <variant>

namespace {

using Objet = std::variant<QJsonObject, QHttpServerResponse>;

// A field that holds a number from 0 to `max`, or why not.
std::optional<QHttpServerResponse> horsBornes(const QJsonObject& objet, const QString& champ,
                                              double max)
{
    const QJsonValue valeur = objet.value(champ);
    if (!valeur.isDouble())
        return refus(QStringLiteral("wrong_type"), QStringLiteral("a number is expected"), champ);
    const double n = valeur.toDouble();
    if (!std::isfinite(n) || n < 0)
        return refus(QStringLiteral("out_of_range"),
                     QStringLiteral("a number from 0 up is expected"), champ);
    if (n > max)
        return refus(QStringLiteral("out_of_range"),
                     QStringLiteral("at most %1").arg(max, 0, 'f', 0), champ);
    return std::nullopt;
}

QString nomMode(const HorlogeDispositif& horloge)
{
    switch (horloge.mode()) {
    case HorlogeDispositif::Mode::Reel: return QStringLiteral("real");
    case HorlogeDispositif::Mode::PasAPas: return QStringLiteral("step");
    case HorlogeDispositif::Mode::Echelle: break;
    }
    return horloge.facteur() == 0 ? QStringLiteral("paused") : QStringLiteral("scaled");
}

} // namespace

QList<Route> RessourceHorloge::routes()
{
    using M = RequeteControle::Methode;
    return {
        {QStringLiteral("/clock"), M::Get, [this](auto&) { return QHttpServerResponse(etat()); }},
        {QStringLiteral("/clock"), M::Patch,
         [this](const RequeteControle& r) { return modifie(r.body()); }},
        {QStringLiteral("/clock/advance"), M::Post,
         [this](const RequeteControle& r) { return avance(r.body()); }},
    };
}

bool RessourceHorloge::arrives() const
{
    return arrivee ? arrivee() : axesEnPosition(panneau).tous();
}

QJsonObject RessourceHorloge::etat() const
{
    return {{QStringLiteral("mode"), nomMode(horloge)},
            {QStringLiteral("speed"), horloge.facteur()},
            {QStringLiteral("ticks"), horloge.tics()},
            {QStringLiteral("device_ms"), std::floor(horloge.tempsMs())}};
}

// Either {"speed": n} (0 pauses) or {"mode": "real" | "step"}, checked whole before anything
// changes.
QHttpServerResponse RessourceHorloge::modifie(const QByteArray& corps)
{
    Objet lu = objetJson(corps);
    if (auto* reponse = std::get_if<QHttpServerResponse>(&lu))
        return std::move(*reponse);
    const QJsonObject demande = std::get<QJsonObject>(lu);
    if (const auto faute = Scenario::verifieHorloge(demande, {}))
        return refus(faute->code, faute->raison, faute->champ);
    Scenario::appliqueHorloge(demande, horloge);
    return QHttpServerResponse(etat());
}

// {"ms": n}, or {"until": "arrived", "max_ms": n}; the device state after, with the clock.
QHttpServerResponse RessourceHorloge::avance(const QByteArray& corps)
{
    Objet lu = objetJson(corps);
    if (auto* reponse = std::get_if<QHttpServerResponse>(&lu))
        return std::move(*reponse);
    const QJsonObject demande = std::get<QJsonObject>(lu);
    if (auto faute = champsInconnus(
            demande, {QStringLiteral("ms"), QStringLiteral("until"), QStringLiteral("max_ms")}))
        return std::move(*faute);
    const bool jusqua = demande.contains(QStringLiteral("until"));
    if (jusqua == demande.contains(QStringLiteral("ms")))
        return refus(QStringLiteral("bad_combination"),
                     QStringLiteral("either ms or until is expected"),
                     jusqua ? QStringLiteral("ms") : QString());
    if (!jusqua && demande.contains(QStringLiteral("max_ms")))
        return refus(QStringLiteral("bad_combination"), QStringLiteral("max_ms goes with until"),
                     QStringLiteral("max_ms"));

    qint64 tics = 0;
    if (jusqua) {
        if (demande.value(QStringLiteral("until")) != QJsonValue(QStringLiteral("arrived")))
            return refus(QStringLiteral("invalid_value"), QStringLiteral("arrived is expected"),
                         QStringLiteral("until"));
        double max = HorlogeDispositif::AvanceMaxMs;
        if (demande.contains(QStringLiteral("max_ms"))) {
            if (auto faute =
                    horsBornes(demande, QStringLiteral("max_ms"), HorlogeDispositif::AvanceMaxMs))
                return std::move(*faute);
            max = demande.value(QStringLiteral("max_ms")).toDouble();
        }
        tics = horloge.avanceJusqua([this] { return arrives(); }, max).tics;
    } else {
        if (auto faute = horsBornes(demande, QStringLiteral("ms"), HorlogeDispositif::AvanceMaxMs))
            return std::move(*faute);
        tics = horloge.avance(demande.value(QStringLiteral("ms")).toDouble());
    }
    QJsonObject reponse = champs.etat();
    const QJsonObject horlogeApres = etat();
    for (auto it = horlogeApres.begin(); it != horlogeApres.end(); ++it)
        reponse.insert(it.key(), it.value());
    reponse.insert(QStringLiteral("ticks_run"), tics);
    reponse.insert(QStringLiteral("arrived"), arrives());
    return QHttpServerResponse(reponse);
}
