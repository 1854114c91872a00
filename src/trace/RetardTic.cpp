#include "RetardTic.h"

#include <algorithm>

void RetardTic::tic(double maintenantMs)
{
    if (dernier >= 0) {
        const double retard = maintenantMs - dernier - periode;
        retardMax = std::max(retardMax, retard);
        histogramme.observe(std::max(0.0, retard));
    }
    dernier = maintenantMs;
    ++nombre;
}

void RetardTic::reinitialise()
{
    dernier = -1;
    nombre = 0;
    retardMax = 0;
}
