#pragma once

#include "sim/PanneauSimulation.h"

#include <QStringList>

// The window's device controls as plain fields, and the log as a list of lines.
class PanneauFactice : public PanneauSimulation
{
public:
    QString mode = QStringLiteral("automateOMRON");
    QString posDemX = QStringLiteral("0");
    QString posDemZ = QStringLiteral("0");
    QString posRelleX = QStringLiteral("0");
    QString posRelleZ = QStringLiteral("0");
    bool homingX = false;
    bool homingZ = false;
    bool tpNon0 = false;
    QString valeurLu = QStringLiteral("500");
    QStringList lignes;

    void AfficheMessage(const QString& message) override { lignes << message; }
    ModeSimulation modeSimulation() const override { return modeDeNom(mode); }
    QString Lbl_PosDemX() const override { return posDemX; }
    void setLbl_PosDemX(const QString& t) override { posDemX = t; }
    QString Lbl_PosDemZ() const override { return posDemZ; }
    void setLbl_PosDemZ(const QString& t) override { posDemZ = t; }
    QString Lbl_PosRelleX() const override { return posRelleX; }
    void setLbl_PosRelleX(const QString& t) override { posRelleX = t; }
    QString Lbl_PosRelleZ() const override { return posRelleZ; }
    void setLbl_PosRelleZ(const QString& t) override { posRelleZ = t; }
    bool Chk_HOMING_X_ok() const override { return homingX; }
    void setChk_HOMING_X_ok(bool c) override { homingX = c; }
    bool Chk_HOMING_Z_ok() const override { return homingZ; }
    void setChk_HOMING_Z_ok(bool c) override { homingZ = c; }
    bool Chk_TPnon0() const override { return tpNon0; }
    QString Txt_ValeurLu() const override { return valeurLu; }
};
