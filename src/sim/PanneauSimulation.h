#pragma once

#include "trace/SortieMessages.h"

#include <QString>

// The window's controls that hold the simulated devices' state. They are the only store of
// that state: every call reads or writes the control itself, so the operator's edits take
// effect at the next request.
class PanneauSimulation : public SortieMessages
{
public:
    // Text of the selected item of the mode selector, as shown.
    virtual QString Cmb_Simulate() const = 0;

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
