#pragma once

#include "PanneauControle.h"
#include "net/PanneauServeur.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

class Journal;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class ZoneMessages;

// The one window of Velorin: the operator's console and the store of the simulated devices'
// state. It holds the controls and their handlers; the log it shows is given to it.
class FenetrePrincipale : public QWidget, public PanneauControle, public PanneauServeur
{
    Q_OBJECT

public:
    // Message-area backgrounds of the four modes.
    static constexpr QRgb FondOmron = 0xFFFFC0;
    static constexpr QRgb FondLasers = 0xC0FFC0;
    static constexpr QRgb FondMuet = 0xFFC0FF;
    static constexpr QRgb FondEcho = 0xC0C0FF;

    // The minimum outer size, frame included, in twips.
    static constexpr int LargeurMin = 4300;
    static constexpr int HauteurMin = 2500;

    explicit FenetrePrincipale(Journal& journal, QWidget* parent = nullptr);
    ~FenetrePrincipale() override;

    // Screen pixels for a length in twips (1440 to the logical inch), and back.
    int twips(int longueur) const;
    int enTwips(int pixels) const;

    // The panels: the controls themselves, read afresh each call.
    void AfficheMessage(const QString& message) override;
    QString Cmb_Simulate() const override { return Cmb_SimulateBox->currentText(); }
    QString Lbl_PosDemX() const override { return Lbl_PosDemXLabel->text(); }
    void setLbl_PosDemX(const QString& t) override { Lbl_PosDemXLabel->setText(t); }
    QString Lbl_PosDemZ() const override { return Lbl_PosDemZLabel->text(); }
    void setLbl_PosDemZ(const QString& t) override { Lbl_PosDemZLabel->setText(t); }
    QString Lbl_PosRelleX() const override { return Lbl_PosRelleXLabel->text(); }
    void setLbl_PosRelleX(const QString& t) override { Lbl_PosRelleXLabel->setText(t); }
    QString Lbl_PosRelleZ() const override { return Lbl_PosRelleZLabel->text(); }
    void setLbl_PosRelleZ(const QString& t) override { Lbl_PosRelleZLabel->setText(t); }
    bool Chk_HOMING_X_ok() const override { return Chk_HOMING_X_okBox->isChecked(); }
    void setChk_HOMING_X_ok(bool c) override { Chk_HOMING_X_okBox->setChecked(c); }
    bool Chk_HOMING_Z_ok() const override { return Chk_HOMING_Z_okBox->isChecked(); }
    void setChk_HOMING_Z_ok(bool c) override { Chk_HOMING_Z_okBox->setChecked(c); }
    bool Chk_TPnon0() const override { return Chk_TPnon0Box->isChecked(); }
    QString Txt_ValeurLu() const override { return Txt_ValeurLuEdit->text(); }
    bool Chk_TraceIP() const override { return Chk_TraceIPBox->isChecked(); }
    void setLbl_LiaisonValide(const QString& legende, quint32 fondRgb) override;

    void setChk_TPnon0(bool c) override { Chk_TPnon0Box->setChecked(c); }
    void setChk_TraceIP(bool c) override { Chk_TraceIPBox->setChecked(c); }
    void setTxt_ValeurLu(const QString& t) override { Txt_ValeurLuEdit->setText(t); }
    QString Lbl_LiaisonValide() const override { return Lbl_LiaisonValideLabel->text(); }
    bool selectionneMode(const QString& texte) override;
    bool modeConnu(const QString& texte) const override;
    void reinitialiseControles() override;

    QString Txt_PortIP() const;
    void setTxt_PortIP(const QString& texte);

    // Brings the message area up to the log at once (it otherwise follows every 50 ms).
    void synchroniseZone();

    void Form_Resize();
    void Cmb_Simulate_Click();
    void Bt_HELP_Click();
    void Bt_clearMsg_Click();
    void Bt_Fin_Click();

signals:
    // The window is closing, whatever asked it to: the program's shutdown runs now, before
    // the window goes.
    void fermetureDemandee();
    // The device mode changed, whoever changed it.
    void modeChange();

protected:
    void closeEvent(QCloseEvent* evenement) override;
    void resizeEvent(QResizeEvent* evenement) override;
    void changeEvent(QEvent* evenement) override;

private:
    void creeControles();
    void ajustePolice();
    void placeControle(QWidget* controle, int gauche, int haut, int largeur, int hauteur);

    QPushButton* Bt_Fin = nullptr;
    QPlainTextEdit* TextMsg = nullptr;
    QLineEdit* Txt_PortIPEdit = nullptr;
    QLabel* Lbl_PortIP = nullptr;
    QLabel* Lbl_LiaisonValideLabel = nullptr;
    QCheckBox* Chk_TraceIPBox = nullptr;
    QPushButton* Bt_clearMsg = nullptr;
    QPushButton* Bt_HELP = nullptr;
    QComboBox* Cmb_SimulateBox = nullptr;
    QGroupBox* FrmAutomateOMRON = nullptr;
    QLabel* Lbl_PosRelleXLabel = nullptr;
    QLabel* Lbl_PosRelleZLabel = nullptr;
    QLabel* Lbl_PosDemXLabel = nullptr;
    QLabel* Lbl_PosDemZLabel = nullptr;
    QCheckBox* Chk_HOMING_Z_okBox = nullptr;
    QCheckBox* Chk_HOMING_X_okBox = nullptr;
    QGroupBox* FrmModuleLasers = nullptr;
    QLineEdit* Txt_ValeurLuEdit = nullptr;
    QLabel* Label1 = nullptr;
    QCheckBox* Chk_TPnon0Box = nullptr;

    Journal& journalMessages;
    ZoneMessages* zoneMessages = nullptr;
};
