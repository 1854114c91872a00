#pragma once

#include <QString>

// Spells out control characters ("Esc/", "Cr/", ...) and shows other unprintable
// characters as "&code&", so that protocol frames can be read in the log.
QString trsfChaineRecuEnLisible(const QString& ChaineRecu);

// The other way round, for texts a script writes in that notation: "Esc/1OkCr/" gives ESC, "1Ok",
// CR; "&4&" the character 4. Anything else stands for itself, a lone "&" included.
QString depuisLisible(const QString& lisible);
