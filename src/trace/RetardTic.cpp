#include "RetardTic.h"

#include <algorithm>

void RetardTic::tic(double maintenantMs)
{
    if (dernier >= 0)
        retardMax = std::max(retardMax, maintenantMs - dernier - periode);
    dernier = maintenantMs;
    ++nombre;
}

void RetardTic::reinitialise()
{
    dernier = -1;
    nombre = 0;
    retardMax = 0;
}
