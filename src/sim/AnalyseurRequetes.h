#pragma once

#include "AutomateOmron.h"
#include "ModuleLasers.h"

#include <QString>

class CanalReponse;
class Horloge;
class PanneauSimulation;

// Answers one received text as the device of the model's mode at that moment would, and
// sends the reply, if any, on the current channel.
class AnalyseurRequetes
{
public:
    AnalyseurRequetes(PanneauSimulation& panneau, CanalReponse& canal, const Horloge& horloge);

    // The reply, if any, has been sent by the time it returns.
    void AnalyseChaineRecu(const QString& strData);

    // The chute positions' sequence starts again, as after a start of the program.
    void reinitialise() { automate.reinitialise(); }
    // The PLC's faults, if any, that register reads answer to.
    void setDefauts(ContraintesAppareil* defauts) { automate.setDefauts(defauts); }

private:
    PanneauSimulation& panneau;
    CanalReponse& canal;
    const Horloge& horloge;
    AutomateOmron automate;
    ModuleLasers lasers;
};
