#include "GenerateurAleatoire.h"

float GenerateurAleatoire::tirage()
{
    x = (x * 1140671485u + 12820163u) & 0xFFFFFFu;
    return static_cast<float>(x) / 16777216.0f;
}
