#pragma once

#include "sim/PanneauSimulation.h"

#include <QString>

// What a script may read and change of the device, beside the state the simulation itself
// reads: the values an operator reads and changes in the window. A write takes effect at the
// next request, exactly as an edit in the window does.
class PanneauControle : public PanneauSimulation
{
public:
    virtual void setChk_TPnon0(bool coche) = 0;
    virtual bool Chk_TraceIP() const = 0;
    virtual void setChk_TraceIP(bool coche) = 0;
    virtual void setTxt_ValeurLu(const QString& texte) = 0;
    virtual QString Lbl_LiaisonValide() const = 0;
    // Selects the mode of that name, in any letter case; false when no mode has it.
    virtual bool selectionneMode(const QString& texte) = 0;
    virtual bool modeConnu(const QString& texte) const = 0;
    // Positions "0", flags unticked, laser "500", PLC mode.
    virtual void reinitialiseControles() = 0;
};
