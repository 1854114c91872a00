#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// Runs an action later, on the window's thread, without ever holding it up meanwhile.
class Planificateur
{
public:
    virtual ~Planificateur() = default;
    virtual void apres(double ms, std::function<void()> action) = 0;
};

// On Qt's timers; what is still pending when it goes is dropped.
class PlanificateurQt : public QObject, public Planificateur
{
public:
    using QObject::QObject;
    void apres(double ms, std::function<void()> action) override
    {
        QTimer::singleShot(std::chrono::milliseconds(qint64(ms)), Qt::PreciseTimer, this,
                           std::move(action));
    }
};
