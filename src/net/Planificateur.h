#pragma once

#include <QObject>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <limits>

// Runs an action later, on the window's thread, without ever holding it up meanwhile.
class Planificateur
{
public:
    virtual ~Planificateur() = default;
    virtual void apres(double ms, std::function<void()> action) = 0;
};

// On Qt's timers; what is still pending when it goes is dropped. A timer holds an int of
// milliseconds, so a longer wait is made of several timers, one after the other.
class PlanificateurQt : public QObject, public Planificateur
{
public:
    static constexpr qint64 TimerMaxMs = std::numeric_limits<int>::max();

    explicit PlanificateurQt(QObject* parent = nullptr, qint64 timerMaxMs = TimerMaxMs)
        : QObject(parent), troncon(std::clamp<qint64>(timerMaxMs, 1, TimerMaxMs))
    {
    }
    void apres(double ms, std::function<void()> action) override
    {
        const qint64 attente = ms > 0 ? qint64(std::min(ms, 9.0e15)) : 0;
        if (attente > troncon) {
            QTimer::singleShot(int(troncon), Qt::PreciseTimer, this,
                               [this, reste = attente - troncon, action = std::move(action)] {
                                   apres(double(reste), action);
                               });
            return;
        }
        QTimer::singleShot(int(attente), Qt::PreciseTimer, this, std::move(action));
    }

private:
    qint64 troncon;
};
