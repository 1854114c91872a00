#pragma once

#include "sim/PanneauSimulation.h"

#include <QString>

// What a script may read and change of the window, beside the device state the simulation
// itself reads: the controls an operator reads and changes. Every call reads or writes the
// control itself, exactly as a click or an edit would.
class PanneauControle : public PanneauSimulation
{
public:
    virtual void setChk_TPnon0(bool coche) = 0;
    virtual bool Chk_TraceIP() const = 0;
    virtual void setChk_TraceIP(bool coche) = 0;
    virtual void setTxt_ValeurLu(const QString& texte) = 0;
    virtual QString Lbl_LiaisonValide() const = 0;
    // Selects the mode item of that text, in any letter case; false when none has it.
    virtual bool selectionneMode(const QString& texte) = 0;
    virtual bool modeConnu(const QString& texte) const = 0;
    // Positions "0", flags unticked, laser "500", PLC mode.
    virtual void reinitialiseControles() = 0;
};
