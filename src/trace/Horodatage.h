#pragma once

#include <QString>

class Horloge;

// "hh:mm:ss.t", with "dd-mm-yyyy " in front when AvecJour is set.
QString Horodatage(bool AvecJour, const Horloge& horloge);
