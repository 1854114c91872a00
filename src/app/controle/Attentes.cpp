#include "Attentes.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

Attentes::Attentes(QObject* parent) : QObject(parent) {}

Attentes::~Attentes() = default;

void Attentes::ajoute(const Repondeur& repondeur, Verification verification, Echeance echeance,
                      int delaiMs)
{
    if (arretees) {
        repondeur(reponseErreur(QHttpServerResponse::StatusCode::ServiceUnavailable,
                                QStringLiteral("shutting_down"),
                                QStringLiteral("Velorin is shutting down")));
        return;
    }
    QElapsedTimer depuis;
    depuis.start();
    if (auto reponse = verification(0)) {
        repondeur(*reponse);
        return;
    }
    if (delaiMs <= 0) {
        repondeur(echeance(0));
        return;
    }
    auto* fin = new QTimer(this);
    fin->setSingleShot(true);
    fin->setTimerType(Qt::PreciseTimer);
    connect(fin, &QTimer::timeout, this, [this, fin] { expire(fin); });
    fin->start(delaiMs);
    attentes.push_back({repondeur, std::move(verification), std::move(echeance), depuis, fin});
}

std::variant<int, QHttpServerResponse> Attentes::delai(const QJsonValue& valeur,
                                                       const QString& champ)
{
    const double n = valeur.toDouble();
    if (!valeur.isDouble() || !std::isfinite(n) || n != std::floor(n))
        return refus(QStringLiteral("wrong_type"), QStringLiteral("a whole number is expected"),
                     champ);
    if (n < 0 || n > DelaiMaxMs)
        return refus(QStringLiteral("out_of_range"), QStringLiteral("from 0 to %1").arg(DelaiMaxMs),
                     champ);
    return int(n);
}

std::variant<int, QHttpServerResponse> Attentes::delai(const QString& texte, const QString& champ)
{
    bool ok = false;
    const qint64 n = texte.toLongLong(&ok);
    if (!ok)
        return refus(QStringLiteral("wrong_type"), QStringLiteral("a whole number is expected"),
                     champ);
    return delai(QJsonValue(double(std::clamp<qint64>(n, -1, DelaiMaxMs + 1))), champ);
}

void Attentes::ajouteApres(const Repondeur& repondeur, const std::function<qint64()>& total,
                           qint64 numero, const std::function<QHttpServerResponse()>& depuis,
                           int delaiMs)
{
    ajoute(
        repondeur,
        [total, numero, depuis](qint64) -> std::optional<QHttpServerResponse> {
            if (total() <= numero)
                return std::nullopt;
            return depuis();
        },
        [depuis](qint64) { return depuis(); }, delaiMs);
}

void Attentes::signale()
{
    if (prevue || attentes.empty())
        return;
    prevue = true;
    QMetaObject::invokeMethod(this, &Attentes::reverifie, Qt::QueuedConnection);
}

void Attentes::reverifie()
{
    prevue = false;
    for (auto it = attentes.begin(); it != attentes.end();) {
        std::optional<QHttpServerResponse> reponse;
        // A client that went away no longer waits.
        if (it->repondeur.present())
            reponse = it->verification(it->depuis.elapsed());
        if (it->repondeur.present() && !reponse) {
            ++it;
            continue;
        }
        if (reponse)
            it->repondeur(*reponse);
        delete it->fin;
        it = attentes.erase(it);
    }
}

void Attentes::expire(QTimer* fin)
{
    for (auto it = attentes.begin(); it != attentes.end(); ++it) {
        if (it->fin != fin)
            continue;
        const Attente attente = *it;
        attentes.erase(it);
        fin->deleteLater();
        // A last look: what happened in this very turn of the loop still counts.
        const qint64 attendu = attente.depuis.elapsed();
        if (auto reponse = attente.verification(attendu))
            attente.repondeur(*reponse);
        else
            attente.repondeur(attente.echeance(attendu));
        return;
    }
}

void Attentes::arrete(const QHttpServerResponse& reponse)
{
    arretees = true;
    for (Attente& attente : attentes) {
        attente.repondeur(reponse);
        delete attente.fin;
    }
    attentes.clear();
}
