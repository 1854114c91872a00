#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

class EtatAppareil;
class Journal;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class ZoneMessages;

// The one window of Velorin: the operator's console, a view and editor of one device's state.
// Its controls show the model's values and write the operator's edits into it at once; the log
// it shows is given to it.
class FenetrePrincipale : public QWidget
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

    FenetrePrincipale(Journal& journal, EtatAppareil& etat, QWidget* parent = nullptr);
    ~FenetrePrincipale() override;

    // Screen pixels for a length in twips (1440 to the logical inch), and back.
    int twips(int longueur) const;
    int enTwips(int pixels) const;

    // The model shown: what every control reads and writes.
    EtatAppareil& etat() { return etatAppareil; }

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
    void relieModele();
    // Every control brought up to the model.
    void montreEtat();
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
    EtatAppareil& etatAppareil;
    ZoneMessages* zoneMessages = nullptr;
};
