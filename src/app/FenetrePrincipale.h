#pragma once

#include "PanneauControle.h"
#include "net/PanneauServeur.h"

#include <QWidget>

class Journal;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
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
    QString Cmb_Simulate() const override;
    QString Lbl_PosDemX() const override;
    void setLbl_PosDemX(const QString& texte) override;
    QString Lbl_PosDemZ() const override;
    void setLbl_PosDemZ(const QString& texte) override;
    QString Lbl_PosRelleX() const override;
    void setLbl_PosRelleX(const QString& texte) override;
    QString Lbl_PosRelleZ() const override;
    void setLbl_PosRelleZ(const QString& texte) override;
    bool Chk_HOMING_X_ok() const override;
    void setChk_HOMING_X_ok(bool coche) override;
    bool Chk_HOMING_Z_ok() const override;
    void setChk_HOMING_Z_ok(bool coche) override;
    bool Chk_TPnon0() const override;
    QString Txt_ValeurLu() const override;
    bool Chk_TraceIP() const override;
    void setLbl_LiaisonValide(const QString& legende, quint32 fondRgb) override;

    void setChk_TPnon0(bool coche) override;
    void setChk_TraceIP(bool coche) override;
    void setTxt_ValeurLu(const QString& texte) override;
    QString Lbl_LiaisonValide() const override;
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
