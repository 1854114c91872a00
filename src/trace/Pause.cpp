#include "Pause.h"

#include "Horloge.h"

#include <QCoreApplication>

#include <cmath>

double Get_Exact_Milli_Second(const Horloge& horloge)
{
    return horloge.millisecondes();
}

void timePauseMs(float TempsEnMs, const Horloge& horloge,
                 const std::function<void()>& laisserPasserEvenements)
{
    // The counter is a double from a steady clock, so the sum cannot wrap; a NaN pause
    // would never end and counts as no pause at all.
    const double duree = std::isnan(TempsEnMs) ? 0.0 : double(TempsEnMs);
    const double debut = std::nearbyint(Get_Exact_Milli_Second(horloge));
    do {
        laisserPasserEvenements();
        horloge.dormirMs(10);
    } while (!(Get_Exact_Milli_Second(horloge) > debut + duree));
}

void timePauseMs(float TempsEnMs)
{
    timePauseMs(TempsEnMs, HorlogeSysteme::instance(), [] { QCoreApplication::processEvents(); });
}
