#include "Horloge.h"

#include <QThread>

#include <chrono>

QDate HorlogeSysteme::dateDuJour() const
{
    return QDate::currentDate();
}

QTime HorlogeSysteme::heureDuJour() const
{
    return QTime::currentTime();
}

float HorlogeSysteme::secondesDepuisMinuit() const
{
    return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
}

double HorlogeSysteme::millisecondes() const
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void HorlogeSysteme::dormirMs(int ms) const
{
    QThread::msleep(static_cast<unsigned long>(ms));
}

const HorlogeSysteme& HorlogeSysteme::instance()
{
    static const HorlogeSysteme horloge;
    return horloge;
}
