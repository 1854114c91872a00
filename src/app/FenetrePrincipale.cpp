#include "FenetrePrincipale.h"

#include "AideLigneCommande.h"
#include "Icones.h"
#include "StyleCadre.h"
#include "ZoneMessages.h"
#include "appareil/EtatAppareil.h"
#include "trace/Journal.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

void colore(QWidget* controle, QPalette::ColorRole role, QRgb couleur)
{
    QPalette palette = controle->palette();
    palette.setColor(role, QColor(couleur));
    controle->setPalette(palette);
}

} // namespace

FenetrePrincipale::FenetrePrincipale(Journal& journal, EtatAppareil& etat, QWidget* parent)
    : QWidget(parent), journalMessages(journal), etatAppareil(etat)
{
    setObjectName(QStringLiteral("Velorin"));
    setWindowIcon(iconePuce());
    creeControles();
    ajustePolice();
    resize(twips(6480), twips(5700));
    zoneMessages = new ZoneMessages(journalMessages, *TextMsg, this);
    relieModele();
}

FenetrePrincipale::~FenetrePrincipale() = default;

int FenetrePrincipale::twips(int longueur) const
{
    return qRound(longueur * logicalDpiX() / 1440.0);
}

int FenetrePrincipale::enTwips(int pixels) const
{
    return qRound(pixels * 1440.0 / logicalDpiX());
}

void FenetrePrincipale::placeControle(QWidget* controle, int gauche, int haut, int largeur,
                                      int hauteur)
{
    controle->setGeometry(twips(gauche), twips(haut), twips(largeur), twips(hauteur));
}

void FenetrePrincipale::creeControles()
{
    auto nomme = [](QWidget* controle, const char* nom) {
        controle->setObjectName(QLatin1String(nom));
    };

    Bt_Fin = new QPushButton(QStringLiteral("Exit"), this);
    nomme(Bt_Fin, "Bt_Fin");
    placeControle(Bt_Fin, 5880, 0, 615, 735);
    Bt_Fin->setStyleSheet(QStringLiteral("QPushButton { background-color: rgb(255, 128, 128); }"));
    Bt_Fin->setToolTip(QStringLiteral("fermeture de ce programme"));
    connect(Bt_Fin, &QPushButton::clicked, this, &FenetrePrincipale::Bt_Fin_Click);

    TextMsg = new QPlainTextEdit(this);
    nomme(TextMsg, "TextMsg");
    placeControle(TextMsg, 0, 960, 5775, 4695);
    TextMsg->setLineWrapMode(QPlainTextEdit::NoWrap);
    TextMsg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TextMsg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TextMsg->setUndoRedoEnabled(false);
    colore(TextMsg, QPalette::Base, FondOmron);

    Txt_PortIPEdit = new QLineEdit(QStringLiteral("10001"), this);
    nomme(Txt_PortIPEdit, "Txt_PortIP");
    placeControle(Txt_PortIPEdit, 960, 0, 735, 285);
    Txt_PortIPEdit->setEnabled(false);
    Txt_PortIPEdit->setToolTip(QStringLiteral("n° du port IP en écoute"));

    Lbl_PortIP = new QLabel(QStringLiteral("Port IP:"), this);
    nomme(Lbl_PortIP, "Lbl_PortIP");
    placeControle(Lbl_PortIP, 240, 60, 615, 255);
    Lbl_PortIP->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    Lbl_LiaisonValideLabel = new QLabel(QStringLiteral("liaison valide ?"), this);
    nomme(Lbl_LiaisonValideLabel, "Lbl_LiaisonValide");
    placeControle(Lbl_LiaisonValideLabel, 0, 675, 2295, 255);
    Lbl_LiaisonValideLabel->setAlignment(Qt::AlignCenter);

    Chk_TraceIPBox = new QCheckBox(QStringLiteral("flux IP"), this);
    nomme(Chk_TraceIPBox, "Chk_TraceIP");
    placeControle(Chk_TraceIPBox, 2280, 0, 855, 255);
    Chk_TraceIPBox->setToolTip(QStringLiteral("affiche le flux entrée/sortie sur la liaison IP"));

    Bt_clearMsg = new QPushButton(this);
    nomme(Bt_clearMsg, "Bt_clearMsg");
    placeControle(Bt_clearMsg, 1800, 0, 375, 375);
    Bt_clearMsg->setIcon(iconeCorbeille());
    Bt_clearMsg->setIconSize(QSize(twips(375) - 6, twips(375) - 6));
    Bt_clearMsg->setToolTip(QStringLiteral("efface la zone message"));
    connect(Bt_clearMsg, &QPushButton::clicked, this, &FenetrePrincipale::Bt_clearMsg_Click);

    Bt_HELP = new QPushButton(QStringLiteral("?"), this);
    nomme(Bt_HELP, "Bt_HELP");
    placeControle(Bt_HELP, 0, 0, 255, 255);
    connect(Bt_HELP, &QPushButton::clicked, this, &FenetrePrincipale::Bt_HELP_Click);

    Cmb_SimulateBox = new QComboBox(this);
    nomme(Cmb_SimulateBox, "Cmb_Simulate");
    placeControle(Cmb_SimulateBox, 360, 360, 2175, 315);
    Cmb_SimulateBox->setEditable(false);
    Cmb_SimulateBox->addItems({QStringLiteral("automateOMRON"), QStringLiteral("moduleLASERS"),
                               QStringLiteral("modeMUET"), QStringLiteral("modeECHO")});
    // Nothing is selected until start-up picks the PLC mode.
    Cmb_SimulateBox->setCurrentIndex(-1);

    // A frame's caption sits a little in from its left edge, clear of the trace switch beside it.
    auto* styleCadre = new StyleCadre(twips(120), this);
    FrmAutomateOMRON = new QGroupBox(QStringLiteral("OMRON"), this);
    FrmAutomateOMRON->setStyle(styleCadre);
    nomme(FrmAutomateOMRON, "FrmAutomateOMRON");
    placeControle(FrmAutomateOMRON, 3000, 0, 2775, 975);

    auto position = [&](const char* nom, int gauche, int haut, int largeur, bool reelle) {
        auto* label = new QLabel(QStringLiteral("0"), FrmAutomateOMRON);
        nomme(label, nom);
        placeControle(label, gauche, haut, largeur, 255);
        label->setAlignment(Qt::AlignCenter);
        if (reelle) {
            label->setAutoFillBackground(true);
            colore(label, QPalette::Window, 0xFFE0C0);
        }
        return label;
    };
    Lbl_PosRelleXLabel = position("Lbl_PosRelleX", 1560, 120, 1095, true);
    Lbl_PosRelleZLabel = position("Lbl_PosRelleZ", 1560, 360, 1095, true);
    Lbl_PosDemXLabel = position("Lbl_PosDemX", 120, 120, 735, false);
    Lbl_PosDemZLabel = position("Lbl_PosDemZ", 960, 120, 615, false);

    Chk_HOMING_Z_okBox = new QCheckBox(QStringLiteral("... Z ok"), FrmAutomateOMRON);
    nomme(Chk_HOMING_Z_okBox, "Chk_HOMING_Z_ok");
    placeControle(Chk_HOMING_Z_okBox, 1560, 600, 975, 255);
    Chk_HOMING_X_okBox = new QCheckBox(QStringLiteral("HOMING X ok"), FrmAutomateOMRON);
    nomme(Chk_HOMING_X_okBox, "Chk_HOMING_X_ok");
    placeControle(Chk_HOMING_X_okBox, 120, 600, 1455, 255);

    FrmModuleLasers = new QGroupBox(QStringLiteral("lasers"), this);
    FrmModuleLasers->setStyle(styleCadre);
    nomme(FrmModuleLasers, "FrmModuleLasers");
    placeControle(FrmModuleLasers, 3600, 2520, 2775, 975);
    Txt_ValeurLuEdit = new QLineEdit(QStringLiteral("500"), FrmModuleLasers);
    nomme(Txt_ValeurLuEdit, "Txt_ValeurLu");
    placeControle(Txt_ValeurLuEdit, 1800, 240, 735, 285);
    Label1 = new QLabel(QStringLiteral("valeur lu par le laser"), FrmModuleLasers);
    nomme(Label1, "Label1");
    placeControle(Label1, 120, 240, 1575, 255);

    Chk_TPnon0Box = new QCheckBox(QStringLiteral("TP <> 0"), FrmAutomateOMRON);
    nomme(Chk_TPnon0Box, "Chk_TPnon0");
    placeControle(Chk_TPnon0Box, 120, 360, 1095, 255);

    // Tab order of the design; the first control has the focus when the window opens.
    const QList<QWidget*> ordre = {Bt_Fin,
                                   TextMsg,
                                   Txt_PortIPEdit,
                                   Lbl_PortIP,
                                   Lbl_LiaisonValideLabel,
                                   Chk_TraceIPBox,
                                   Bt_clearMsg,
                                   Bt_HELP,
                                   Cmb_SimulateBox,
                                   FrmAutomateOMRON,
                                   Lbl_PosRelleXLabel,
                                   Lbl_PosRelleZLabel,
                                   Lbl_PosDemXLabel,
                                   Lbl_PosDemZLabel,
                                   Chk_HOMING_Z_okBox,
                                   Chk_HOMING_X_okBox,
                                   FrmModuleLasers,
                                   Txt_ValeurLuEdit,
                                   Label1,
                                   Chk_TPnon0Box};
    for (qsizetype i = 1; i < ordre.size(); ++i)
        setTabOrder(ordre.at(i - 1), ordre.at(i));
    Bt_Fin->setFocus();
}

// The design's controls are sized for a small dialog font. Take 8 points, or less where this
// desktop's font is wider, so that no caption is cut. A position label holds up to 8
// characters: it alone goes smaller still if that is what the 8 characters need.
void FenetrePrincipale::ajustePolice()
{
    const QList<QLabel*> positions = {Lbl_PosDemXLabel, Lbl_PosDemZLabel, Lbl_PosRelleXLabel,
                                      Lbl_PosRelleZLabel};
    const QString positionLaPlusLarge = QStringLiteral("00000000");
    const auto toutTient = [&] {
        for (QWidget* controle : findChildren<QWidget*>()) {
            int besoin = 0;
            if (auto* caseACocher = qobject_cast<QCheckBox*>(controle))
                besoin = caseACocher->sizeHint().width(); // the box, the gap and the caption
            else if (auto* bouton = qobject_cast<QPushButton*>(controle))
                besoin = bouton->fontMetrics().horizontalAdvance(bouton->text()) + 6;
            else if (auto* label = qobject_cast<QLabel*>(controle))
                besoin = label->fontMetrics().horizontalAdvance(label->text());
            else if (auto* cadre = qobject_cast<QGroupBox*>(controle))
                besoin = cadre->fontMetrics().horizontalAdvance(cadre->title());
            if (besoin > controle->width())
                return false;
        }
        return true;
    };
    QFont police = font();
    for (double taille = 8.0; taille >= 6.0; taille -= 0.5) {
        police.setPointSizeF(taille);
        setFont(police);
        if (toutTient())
            break;
    }
    for (QLabel* position : positions) {
        QFont petite = police;
        while (QFontMetrics(petite).horizontalAdvance(positionLaPlusLarge) > position->width()
               && petite.pointSizeF() > 5.0)
            petite.setPointSizeF(petite.pointSizeF() - 0.5);
        position->setFont(petite);
    }
}

// ---- the model shown, and the operator's edits written into it ----

void FenetrePrincipale::relieModele()
{
    EtatAppareil& e = etatAppareil;
    connect(Cmb_SimulateBox, &QComboBox::currentIndexChanged, this, [this, &e] {
        if (Cmb_SimulateBox->currentIndex() >= 0)
            e.selectionneMode(Cmb_SimulateBox->currentText());
    });
    connect(Chk_HOMING_X_okBox, &QCheckBox::toggled, &e, &EtatAppareil::setChk_HOMING_X_ok);
    connect(Chk_HOMING_Z_okBox, &QCheckBox::toggled, &e, &EtatAppareil::setChk_HOMING_Z_ok);
    connect(Chk_TPnon0Box, &QCheckBox::toggled, &e, &EtatAppareil::setChk_TPnon0);
    connect(Chk_TraceIPBox, &QCheckBox::toggled, &e, &EtatAppareil::setChk_TraceIP);
    connect(Txt_ValeurLuEdit, &QLineEdit::textChanged, &e, &EtatAppareil::setTxt_ValeurLu);
    connect(&e, &EtatAppareil::change, this, &FenetrePrincipale::montreEtat);
    connect(&e, &EtatAppareil::modeChange, this, &FenetrePrincipale::Cmb_Simulate_Click);
    montreEtat();
    if (e.modeSimulation() != ModeSimulation::Aucun)
        Cmb_Simulate_Click();
}

void FenetrePrincipale::montreEtat()
{
    const EtatAppareil& e = etatAppareil;
    const auto texte = [](auto* controle, const QString& valeur) {
        if (controle->text() != valeur)
            controle->setText(valeur);
    };
    texte(Lbl_PosDemXLabel, e.Lbl_PosDemX());
    texte(Lbl_PosDemZLabel, e.Lbl_PosDemZ());
    texte(Lbl_PosRelleXLabel, e.Lbl_PosRelleX());
    texte(Lbl_PosRelleZLabel, e.Lbl_PosRelleZ());
    texte(Txt_ValeurLuEdit, e.Txt_ValeurLu());
    texte(Txt_PortIPEdit, e.Txt_PortIP());
    Chk_HOMING_X_okBox->setChecked(e.Chk_HOMING_X_ok());
    Chk_HOMING_Z_okBox->setChecked(e.Chk_HOMING_Z_ok());
    Chk_TPnon0Box->setChecked(e.Chk_TPnon0());
    Chk_TraceIPBox->setChecked(e.Chk_TraceIP());
    texte(Lbl_LiaisonValideLabel, e.Lbl_LiaisonValide());
    if (const auto fond = e.fondLiaison();
        fond
        && (!Lbl_LiaisonValideLabel->autoFillBackground()
            || Lbl_LiaisonValideLabel->palette().color(QPalette::Window) != QColor(*fond))) {
        Lbl_LiaisonValideLabel->setAutoFillBackground(true);
        colore(Lbl_LiaisonValideLabel, QPalette::Window, *fond);
    }
    const int index = e.modeSimulation() == ModeSimulation::Aucun
                          ? -1
                          : Cmb_SimulateBox->findText(e.Cmb_Simulate(), Qt::MatchFixedString);
    if (Cmb_SimulateBox->currentIndex() != index)
        Cmb_SimulateBox->setCurrentIndex(index);
}

void FenetrePrincipale::synchroniseZone()
{
    zoneMessages->synchronise();
}

// ---- layout and the window's own handlers ----

void FenetrePrincipale::resizeEvent(QResizeEvent* evenement)
{
    QWidget::resizeEvent(evenement);
    Form_Resize();
}

void FenetrePrincipale::changeEvent(QEvent* evenement)
{
    QWidget::changeEvent(evenement);
    if (evenement->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void FenetrePrincipale::Form_Resize()
{
    if (isMinimized())
        return;

    // The rule works on the outer size, frame and title bar included.
    const QSize cadre = frameGeometry().size() - geometry().size();
    const int largeurCadre = std::max(0, cadre.width());
    const int hauteurCadre = std::max(0, cadre.height());
    setMinimumSize(std::max(0, twips(LargeurMin) - largeurCadre),
                   std::max(0, twips(HauteurMin) - hauteurCadre));

    int largeur = width() + largeurCadre;
    int hauteur = height() + hauteurCadre;
    if (largeur < twips(LargeurMin) || hauteur < twips(HauteurMin)) {
        largeur = std::max(largeur, twips(LargeurMin));
        hauteur = std::max(hauteur, twips(HauteurMin));
        resize(largeur - largeurCadre, hauteur - hauteurCadre);
    }

    // The message area follows the window; it never reaches past the client area, whatever
    // this desktop's frame is.
    const int haut = TextMsg->y();
    TextMsg->resize(std::min(largeur - twips(120), width() - TextMsg->x()),
                    std::max(0, std::min(hauteur - haut - twips(500), height() - haut)));
}

// The frames and the message area's colour follow the model's mode.
void FenetrePrincipale::Cmb_Simulate_Click()
{
    const ModeSimulation mode = etatAppareil.modeSimulation();
    if (mode == ModeSimulation::AutomateOmron) {
        FrmAutomateOMRON->show();
        colore(TextMsg, QPalette::Base, FondOmron);
    } else {
        FrmAutomateOMRON->hide();
    }
    if (mode == ModeSimulation::ModuleLasers) {
        FrmModuleLasers->show();
        FrmModuleLasers->move(twips(3000), 0);
        colore(TextMsg, QPalette::Base, FondLasers);
    } else {
        FrmModuleLasers->hide();
    }
    if (mode == ModeSimulation::ModeMuet)
        colore(TextMsg, QPalette::Base, FondMuet);
    if (mode == ModeSimulation::ModeEcho)
        colore(TextMsg, QPalette::Base, FondEcho);
}

void FenetrePrincipale::Bt_HELP_Click()
{
    Journal& j = journalMessages;
    const QString etoiles(80, QLatin1Char('*'));
    j.AfficheMessage(etoiles);
    j.AfficheMessage(
        QStringLiteral("Ce programme simule la communication avec un périphérique en mode IP"));
    j.AfficheMessage(QString());
    j.AfficheMessage(QStringLiteral("parametres d'appel:"));
    for (const QString& ligne : lignesAide())
        j.AfficheMessage(ligne);
    j.AfficheMessage(etoiles);
}

void FenetrePrincipale::Bt_clearMsg_Click()
{
    etatAppareil.efface();
}

void FenetrePrincipale::Bt_Fin_Click()
{
    close();
}

void FenetrePrincipale::closeEvent(QCloseEvent* evenement)
{
    emit fermetureDemandee();
    evenement->accept();
}
