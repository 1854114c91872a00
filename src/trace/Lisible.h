#pragma once

#include <QString>

// Spells out control characters ("Esc/", "Cr/", ...) and shows other unprintable
// characters as "&code&", so that protocol frames can be read in the log.
QString trsfChaineRecuEnLisible(const QString& ChaineRecu);
