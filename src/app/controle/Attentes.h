#pragma once

#include "Route.h"

#include <QElapsedTimer>
#include <QObject>

#include <list>

class QTimer;

// The waits of the control API: requests whose answer comes when a condition holds, or at
// their time-out. Nothing runs while nothing happens: a condition is checked when the wait
// comes, then again after each event that may change it (a log line, a device tick or request,
// a connection, a control request), the events of one turn of the loop checked together. The
// window thread never waits: each answer is written when known.
class Attentes : public QObject
{
    Q_OBJECT

public:
    static constexpr int DelaiMaxMs = 60000;

    // The answer when the condition holds (given the milliseconds waited so far), or nothing.
    using Verification = std::function<std::optional<QHttpServerResponse>(qint64 attenduMs)>;
    // The answer at the time-out.
    using Echeance = std::function<QHttpServerResponse(qint64 attenduMs)>;

    explicit Attentes(QObject* parent = nullptr);
    ~Attentes() override;

    void ajoute(const Repondeur& repondeur, Verification verification, Echeance echeance,
                int delaiMs);
    // A wait on a numbered record (log lines, traffic events): `depuis` answers as soon as the
    // record holds more than `numero` entries, or at the time-out with nothing new.
    void ajouteApres(const Repondeur& repondeur, const std::function<qint64()>& total,
                     qint64 numero, const std::function<QHttpServerResponse()>& depuis,
                     int delaiMs);
    // Something happened: every wait is checked again at the next turn of the loop.
    void signale();
    // The program ends: every wait gets `reponse` now, and none is taken from now on.
    void arrete(const QHttpServerResponse& reponse);
    qsizetype enCours() const { return qsizetype(attentes.size()); }

    // A time-out as a request gives it, whole milliseconds from 0 to DelaiMaxMs, or the 400
    // that names `champ`.
    static std::variant<int, QHttpServerResponse> delai(const QJsonValue& valeur,
                                                        const QString& champ);
    // The same from a query's text.
    static std::variant<int, QHttpServerResponse> delai(const QString& texte, const QString& champ);

private:
    struct Attente
    {
        Repondeur repondeur;
        Verification verification;
        Echeance echeance;
        QElapsedTimer depuis;
        QTimer* fin;
    };

    void reverifie();
    void expire(QTimer* fin);

    std::list<Attente> attentes;
    bool prevue = false;
    bool arretees = false;
};
