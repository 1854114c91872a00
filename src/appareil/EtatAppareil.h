#pragma once

#include "PanneauControle.h"
#include "net/PanneauServeur.h"

#include <QObject>
#include <QString>

#include <optional>

// One simulated device's state, with the texts its controls show: the simulation, the channel
// server, the control API and scenarios read and write it, and a window, when there is one,
// shows it and writes the operator's edits into it. The log lines go to the log it is given.
class EtatAppareil : public QObject, public PanneauControle, public PanneauServeur
{
    Q_OBJECT

public:
    explicit EtatAppareil(SortieMessages& journal, QObject* parent = nullptr);

    void AfficheMessage(const QString& message) override;

    ModeSimulation modeSimulation() const override { return mode; }
    void setModeSimulation(ModeSimulation nouveau);
    bool selectionneMode(const QString& texte) override;
    bool modeConnu(const QString& texte) const override;

    QString Lbl_PosDemX() const override { return posDemX; }
    void setLbl_PosDemX(const QString& t) override { change_(posDemX, t); }
    QString Lbl_PosDemZ() const override { return posDemZ; }
    void setLbl_PosDemZ(const QString& t) override { change_(posDemZ, t); }
    QString Lbl_PosRelleX() const override { return posRelleX; }
    void setLbl_PosRelleX(const QString& t) override { change_(posRelleX, t); }
    QString Lbl_PosRelleZ() const override { return posRelleZ; }
    void setLbl_PosRelleZ(const QString& t) override { change_(posRelleZ, t); }
    bool Chk_HOMING_X_ok() const override { return homingX; }
    void setChk_HOMING_X_ok(bool c) override { change_(homingX, c); }
    bool Chk_HOMING_Z_ok() const override { return homingZ; }
    void setChk_HOMING_Z_ok(bool c) override { change_(homingZ, c); }
    bool Chk_TPnon0() const override { return tpNon0; }
    void setChk_TPnon0(bool c) override { change_(tpNon0, c); }
    QString Txt_ValeurLu() const override { return valeurLu; }
    void setTxt_ValeurLu(const QString& t) override { change_(valeurLu, t); }
    bool Chk_TraceIP() const override { return traceIP; }
    void setChk_TraceIP(bool c) override { change_(traceIP, c); }

    QString Lbl_LiaisonValide() const override { return liaison; }
    // Nothing until the link label is first set: the label keeps the window's own background.
    std::optional<quint32> fondLiaison() const { return fondLiaisonRgb; }
    void setLbl_LiaisonValide(const QString& legende, quint32 fondRgb) override;

    // The listening port as shown: the one asked for, then the one the system gave.
    QString Txt_PortIP() const { return portIP; }
    void setTxt_PortIP(const QString& t) { change_(portIP, t); }

    // What a reset goes back to: the mode selected now (MODE=, or a machine file's mode).
    void retiensModeDeDepart() { modeDepart = mode; }
    void reinitialiseControles() override;
    // The message area starts afresh: "clear", then the same stamped.
    void efface();

signals:
    // Any value changed, whoever changed it.
    void change();
    // The mode changed, whoever changed it (also said by change()).
    void modeChange();

private:
    template <typename T> void change_(T& valeur, const T& nouvelle)
    {
        if (valeur == nouvelle)
            return;
        valeur = nouvelle;
        emit change();
    }

    SortieMessages& journal;
    // Nothing is selected until start-up picks the PLC mode.
    ModeSimulation mode = ModeSimulation::Aucun;
    ModeSimulation modeDepart = ModeSimulation::AutomateOmron;
    QString posDemX = QStringLiteral("0");
    QString posDemZ = QStringLiteral("0");
    QString posRelleX = QStringLiteral("0");
    QString posRelleZ = QStringLiteral("0");
    bool homingX = false;
    bool homingZ = false;
    bool tpNon0 = false;
    QString valeurLu = QStringLiteral("500");
    bool traceIP = false;
    QString liaison = QStringLiteral("liaison valide ?");
    std::optional<quint32> fondLiaisonRgb;
    QString portIP = QStringLiteral("10001");
};
