#pragma once

#include <QString>

class Horloge;
class PanneauSimulation;

// The laser detection module. Requests are ESC, body, two-digit checksum, CR; replies are "/",
// payload, checksum of the payload, CR. Only the measurement read answers something that is
// not fixed: the operator's value, as the model holds it.
class ModuleLasers
{
public:
    ModuleLasers(PanneauSimulation& panneau, const Horloge& horloge);

    // Returns the reply frame, empty when the request gets no answer.
    QString traite(const QString& strData);

private:
    PanneauSimulation& panneau;
    const Horloge& horloge;
};
