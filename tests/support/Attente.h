#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

// Runs the event loop until the condition holds or a generous deadline has gone (sanitizer
// builds on a busy machine are slow); false when it never held.
template <typename Condition> bool attendre(Condition condition, int limiteMs = 30000)
{
    const QDeadlineTimer limite(limiteMs);
    while (!condition()) {
        if (limite.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
