#pragma once

#include "ModeSimulation.h"
#include "trace/SortieMessages.h"

#include <QString>

// The simulated device's state as the controls show it: the model of one device implements it,
// and the operator's edits in the window are written into it at once, so they take effect at
// the next request.
class PanneauSimulation : public SortieMessages
{
public:
    virtual ModeSimulation modeSimulation() const = 0;
    // The mode's name, as the selector shows it.
    QString Cmb_Simulate() const { return nomMode(modeSimulation()); }

    virtual QString Lbl_PosDemX() const = 0;
    virtual void setLbl_PosDemX(const QString& texte) = 0;
    virtual QString Lbl_PosDemZ() const = 0;
    virtual void setLbl_PosDemZ(const QString& texte) = 0;
    virtual QString Lbl_PosRelleX() const = 0;
    virtual void setLbl_PosRelleX(const QString& texte) = 0;
    virtual QString Lbl_PosRelleZ() const = 0;
    virtual void setLbl_PosRelleZ(const QString& texte) = 0;

    virtual bool Chk_HOMING_X_ok() const = 0;
    virtual void setChk_HOMING_X_ok(bool coche) = 0;
    virtual bool Chk_HOMING_Z_ok() const = 0;
    virtual void setChk_HOMING_Z_ok(bool coche) = 0;
    virtual bool Chk_TPnon0() const = 0;

    virtual QString Txt_ValeurLu() const = 0;
};
