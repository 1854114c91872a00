#pragma once

#include "net/CoucheSocketQt.h"
#include "net/PanneauServeur.h"
#include "net/ServeurCanaux.h"
#include "sim/AnalyseurRequetes.h"
#include "sim/PanneauSimulation.h"
#include "trace/Journal.h"
#include "trace/RetardTic.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class MiroirSortie;
struct LigneCommande;
class ZoneMessages;

// The one window of Velorin: the operator's console and the store of the simulated devices'
// state. It owns the log, the socket array, the channel pool, the analysis and both timers.
class FenetrePrincipale : public QWidget, public PanneauSimulation, public PanneauServeur
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

    explicit FenetrePrincipale(QWidget* parent = nullptr);
    ~FenetrePrincipale() override;

    // Start-up from the command line (the program's arguments joined by blanks). False when
    // the program cannot listen: the reason is in the log and on standard error.
    bool Form_Load(const LigneCommande& parametres);
    // SIGTERM, SIGINT or SIGHUP: closes the window as the operator would, at once, whatever
    // is open; during start-up, once the step under way is over.
    void demandeArret();
    bool arretEstDemande() const { return arretDemande; }

    // Mirrors every log line to a descriptor (closed at the end with `proprietaire`).
    void activeMiroir(int descripteur, bool proprietaire);
    // Without a display, the "?" box writes to standard error instead.
    void setSansEcran(bool sans) { sansEcran = sans; }

    // Screen pixels for a length in twips (1440 to the logical inch), and back.
    int twips(int longueur) const;
    int enTwips(int pixels) const;

    Journal& journal() { return journalMessages; }
    const Journal& journal() const { return journalMessages; }
    ServeurCanaux& serveur() { return serveurCanaux; }
    // How late Timer_Deplacement's ticks come: the window's responsiveness under load.
    RetardTic& retardDeplacement() { return retardTimerDeplacement; }

    // PanneauSimulation and PanneauServeur: the controls themselves, read afresh each call.
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

    // What else an operator can change or read in the window, for scripts.
    void setChk_TPnon0(bool coche);
    void setChk_TraceIP(bool coche);
    void setTxt_ValeurLu(const QString& texte);
    QString Lbl_LiaisonValide() const;
    // Selects the mode item of that text, in any letter case; false when none has it.
    bool selectionneMode(const QString& texte);
    bool modeConnu(const QString& texte) const;
    // The device state back to its start values: positions "0", flags unticked, laser "500",
    // PLC mode, and the chute positions' sequence from its start.
    void reinitialiseEtat();
    const CoucheSocket& sockets() const { return WSserveur; }
    quint16 portEcoute() const { return quint16(WSserveur.LocalPort(0)); }

    // Tells the operator and standard error why the program cannot serve.
    void signaleEchecDemarrage(const QString& raison);

    // Brings the message area up to the log at once (it otherwise follows every 50 ms).
    void synchroniseZone();

    void Form_Resize();
    void Cmb_Simulate_Click();
    void Bt_HELP_Click();
    void Bt_clearMsg_Click();
    void Bt_Fin_Click();

protected:
    void closeEvent(QCloseEvent* evenement) override;
    void resizeEvent(QResizeEvent* evenement) override;
    void changeEvent(QEvent* evenement) override;

private:
    void creeControles();
    void ajustePolice();
    void placeControle(QWidget* controle, int gauche, int haut, int largeur, int hauteur);
    void Form_Unload();

    QPushButton* Bt_Fin = nullptr;
    QPlainTextEdit* TextMsg = nullptr;
    QLineEdit* Txt_PortIP = nullptr;
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

    QTimer Timer_Deplacement;
    QTimer Timer1;
    RetardTic retardTimerDeplacement{100};

    Journal journalMessages;
    MiroirSortie* miroir = nullptr;
    ZoneMessages* zoneMessages = nullptr;
    CoucheSocketQt WSserveur;
    ServeurCanaux serveurCanaux;
    AnalyseurRequetes analyseur;

    bool sansEcran = false;
    bool fermetureFaite = false;
    bool chargementEnCours = false;
    bool arretDemande = false;
};
