#pragma once

#include <QString>

// Spells out control characters ("Esc/", "Cr/", ...) and shows other unprintable
// characters as "&code&", so that protocol frames can be read in the log.
QString trsfChaineRecuEnLisible(const QString& ChaineRecu);

// The length of that readable text, without building it.
qsizetype longueurLisible(const QString& ChaineRecu);
