#include "app/AideLigneCommande.h"
#include "app/FenetrePrincipale.h"
#include "appareil/EtatAppareil.h"
#include "trace/Journal.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

class Fenetre : public ::testing::Test
{
protected:
    Journal journal;
    EtatAppareil etat{journal};
    FenetrePrincipale fenetre{journal, etat};

    template <typename T = QWidget> T* controle(const char* nom)
    {
        T* trouve = fenetre.findChild<T*>(QLatin1String(nom));
        EXPECT_NE(trouve, nullptr) << nom;
        return trouve;
    }
    QRect enTwips(const QRect& r) const
    {
        return {fenetre.enTwips(r.x()), fenetre.enTwips(r.y()), fenetre.enTwips(r.width()),
                fenetre.enTwips(r.height())};
    }
    QRgb fondZone()
    {
        return controle<QPlainTextEdit>("TextMsg")->palette().color(QPalette::Base).rgb()
               & 0xFFFFFF;
    }
    QStringList lignes() const
    {
        QStringList l = journal.contenu().split(QStringLiteral("\r\n"));
        l.removeLast();
        return l;
    }
};

// In every mode, at the smallest size, no shown control covers a shown sibling by more than the
// design's one-pixel seams, but for the trace switch that the device frame's edge runs under
// (its caption is drawn clear of it).
TEST_F(Fenetre, NoShownControlCoversAnotherInAnyMode)
{
    fenetre.resize(fenetre.twips(FenetrePrincipale::LargeurMin),
                   fenetre.twips(FenetrePrincipale::HauteurMin));
    const int couture = fenetre.twips(15) + 1;
    const auto permis = [&](const QWidget* a, const QWidget* b) {
        const QSet<QString> paire = {a->objectName(), b->objectName()};
        const QRect commun = a->geometry().intersected(b->geometry());
        return commun.width() <= couture || commun.height() <= couture
               || paire
                      == QSet<QString>{QStringLiteral("Chk_TraceIP"),
                                       QStringLiteral("FrmAutomateOMRON")}
               || paire
                      == QSet<QString>{QStringLiteral("Chk_TraceIP"),
                                       QStringLiteral("FrmModuleLasers")};
    };
    for (int rang = 0; rang < 4; ++rang) {
        controle<QComboBox>("Cmb_Simulate")->setCurrentIndex(rang);
        QList<QWidget*> parents = fenetre.findChildren<QWidget*>();
        parents << &fenetre;
        for (QWidget* parent : parents) {
            QList<QWidget*> montres;
            for (QObject* enfant : parent->children()) {
                auto* w = qobject_cast<QWidget*>(enfant);
                if (w != nullptr && !w->isHidden() && !w->objectName().isEmpty()
                    && !w->objectName().startsWith(QLatin1String("qt_")))
                    montres << w;
            }
            for (qsizetype i = 0; i < montres.size(); ++i) {
                for (qsizetype j = i + 1; j < montres.size(); ++j) {
                    EXPECT_TRUE(permis(montres[i], montres[j]))
                        << rang << " " << montres[i]->objectName().toStdString() << " "
                        << montres[j]->objectName().toStdString();
                }
            }
        }
    }
}

TEST_F(Fenetre, ModeSelectionShowsItsFrameAndColour)
{
    struct
    {
        const char* item;
        bool omron;
        bool lasers;
        QRgb fond;
    } modes[] = {{"moduleLASERS", false, true, FenetrePrincipale::FondLasers},
                 {"modeMUET", false, false, FenetrePrincipale::FondMuet},
                 {"modeECHO", false, false, FenetrePrincipale::FondEcho},
                 {"moduleLASERS", false, true, FenetrePrincipale::FondLasers},
                 {"automateOMRON", true, false, FenetrePrincipale::FondOmron}};
    fenetre.show();
    etat.setLbl_PosDemX(QStringLiteral("00012000"));
    etat.setChk_HOMING_X_ok(true);
    auto* selecteur = controle<QComboBox>("Cmb_Simulate");
    for (const auto& m : modes) {
        selecteur->setCurrentText(QLatin1String(m.item));
        EXPECT_EQ(controle("FrmAutomateOMRON")->isVisible(), m.omron) << m.item;
        EXPECT_EQ(controle("FrmModuleLasers")->isVisible(), m.lasers) << m.item;
        EXPECT_EQ(fondZone(), m.fond) << m.item;
        if (m.lasers) {
            EXPECT_EQ(controle("FrmModuleLasers")->pos(), QPoint(fenetre.twips(3000), 0));
        }
    }
    // Nothing else is reset by a mode change.
    EXPECT_EQ(etat.Lbl_PosDemX(), QStringLiteral("00012000"));
    EXPECT_TRUE(etat.Chk_HOMING_X_ok());
    EXPECT_EQ(etat.modeSimulation(), ModeSimulation::AutomateOmron);

    // A mode the model takes from elsewhere (a script, a scenario) shows the same way.
    etat.selectionneMode(QStringLiteral("MODEecho"));
    EXPECT_EQ(selecteur->currentText(), QStringLiteral("modeECHO"));
    EXPECT_FALSE(controle("FrmAutomateOMRON")->isVisible());
    EXPECT_EQ(fondZone(), FenetrePrincipale::FondEcho);
}

TEST_F(Fenetre, TooSmallSpringsBackAndTheMessageAreaFollowsTheWindow)
{
    fenetre.show();
    auto* zone = controle("TextMsg");

    fenetre.resize(50, 40);
    QCoreApplication::processEvents();
    EXPECT_EQ(fenetre.frameGeometry().width(), fenetre.twips(4300));
    EXPECT_EQ(fenetre.frameGeometry().height(), fenetre.twips(2500));
    EXPECT_NEAR(fenetre.enTwips(zone->width()), 4180, 15);
    EXPECT_NEAR(fenetre.enTwips(zone->height()), 1040, 15);
    EXPECT_EQ(zone->pos(), QPoint(0, fenetre.twips(960)));

    fenetre.resize(fenetre.twips(9000), fenetre.twips(8000));
    QCoreApplication::processEvents();
    // The rule works on the outer size, frame included.
    const QSize dehors = fenetre.frameGeometry().size();
    EXPECT_EQ(zone->width(), dehors.width() - fenetre.twips(120));
    EXPECT_EQ(zone->height(), dehors.height() - fenetre.twips(960) - fenetre.twips(500));
    // The buttons and frames keep their places.
    EXPECT_EQ(controle("Bt_Fin")->pos(), QPoint(fenetre.twips(5880), 0));

    const QSize avant = zone->size();
    fenetre.showMinimized();
    fenetre.showNormal();
    EXPECT_EQ(zone->size(), avant);
}

// The help names this program and every key it really reads, each time below what is there.
TEST_F(Fenetre, HelpNamesTheProgramAndItsKeysEachTimeBelowWhatIsThere)
{
    journal.AfficheMessage(QStringLiteral("avant"));
    QTest::mouseClick(controle("Bt_HELP"), Qt::LeftButton);
    QTest::mouseClick(controle("Bt_HELP"), Qt::LeftButton);
    const QStringList l = lignes();
    const QString etoiles(80, QLatin1Char('*'));
    const QStringList aide = QStringList{etoiles,
                                         QStringLiteral("Ce programme simule la communication avec "
                                                        "un périphérique en mode IP"),
                                         QString(), QStringLiteral("parametres d'appel:")}
                             + lignesAide() + QStringList{etoiles};
    ASSERT_EQ(l.size(), 1 + 2 * aide.size());
    EXPECT_EQ(l.at(0), QStringLiteral("avant"));
    EXPECT_EQ(l.mid(1, aide.size()), aide);
    EXPECT_EQ(l.mid(1 + aide.size()), aide);
    const QString texte = lignesAide().join(QLatin1Char('\n'));
    EXPECT_TRUE(texte.startsWith(QLatin1String("velorin ")));
    for (const char* cle : {"PORTIP=", "MODE=", "CONTROL=", "READY=", "LOG=", "TRACE=ON",
                            "BIND=", "CONTROL_BIND=", "SHUTDOWN_PAUSE_MS=", "--help", "--version"})
        EXPECT_TRUE(texte.contains(QLatin1String(cle))) << cle;
    EXPECT_FALSE(texte.contains(QLatin1String(".exe")));
    EXPECT_FALSE(texte.contains(QLatin1String("COM=")));
}

TEST_F(Fenetre, ClearLeavesOnlyItsOwnStampedLine)
{
    journal.AfficheMessage(QStringLiteral("une"));
    journal.AfficheMessage(QStringLiteral("deux"));
    QTest::mouseClick(controle("Bt_clearMsg"), Qt::LeftButton);
    const QStringList l = lignes();
    ASSERT_EQ(l.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d clear$"))
                    .match(l.at(0))
                    .hasMatch())
        << l.at(0).toStdString();
}

// The operator's edits reach the model at once, and whatever writes the model is shown.
TEST_F(Fenetre, ShowsTheModelAndWritesTheOperatorsEditsIntoIt)
{
    EXPECT_EQ(controle<QLineEdit>("Txt_PortIP")->text(), QStringLiteral("10001"));
    EXPECT_EQ(controle<QComboBox>("Cmb_Simulate")->currentIndex(), -1);

    controle<QCheckBox>("Chk_HOMING_Z_ok")->setChecked(true);
    controle<QCheckBox>("Chk_TPnon0")->setChecked(true);
    controle<QCheckBox>("Chk_TraceIP")->setChecked(true);
    controle<QLineEdit>("Txt_ValeurLu")->setText(QStringLiteral("1234"));
    controle<QComboBox>("Cmb_Simulate")->setCurrentText(QStringLiteral("modeMUET"));
    EXPECT_TRUE(etat.Chk_HOMING_Z_ok());
    EXPECT_TRUE(etat.Chk_TPnon0());
    EXPECT_TRUE(etat.Chk_TraceIP());
    EXPECT_EQ(etat.Txt_ValeurLu(), QStringLiteral("1234"));
    EXPECT_EQ(etat.modeSimulation(), ModeSimulation::ModeMuet);

    etat.setLbl_PosRelleZ(QStringLiteral("1500"));
    etat.setChk_HOMING_Z_ok(false);
    etat.setTxt_PortIP(QStringLiteral("40123"));
    EXPECT_EQ(controle<QLabel>("Lbl_PosRelleZ")->text(), QStringLiteral("1500"));
    EXPECT_FALSE(controle<QCheckBox>("Chk_HOMING_Z_ok")->isChecked());
    EXPECT_EQ(controle<QLineEdit>("Txt_PortIP")->text(), QStringLiteral("40123"));

    etat.setLbl_LiaisonValide(QStringLiteral("2 liaison(s) valide(s)"), 0x00FF00);
    EXPECT_EQ(controle<QLabel>("Lbl_LiaisonValide")->text(),
              QStringLiteral("2 liaison(s) valide(s)"));
    EXPECT_EQ(controle("Lbl_LiaisonValide")->palette().color(QPalette::Window).rgb() & 0xFFFFFF,
              0x00FF00u);

    etat.reinitialiseControles();
    EXPECT_FALSE(controle<QCheckBox>("Chk_TPnon0")->isChecked());
    EXPECT_EQ(controle<QLineEdit>("Txt_ValeurLu")->text(), QStringLiteral("500"));
    EXPECT_EQ(controle<QComboBox>("Cmb_Simulate")->currentText(), QStringLiteral("automateOMRON"));
}

// A window opened on a model that is already in use shows it as it is.
TEST(FenetreTardive, AWindowOpenedLateShowsTheModelAsItIs)
{
    Journal journal;
    EtatAppareil etat(journal);
    etat.selectionneMode(QStringLiteral("moduleLASERS"));
    etat.setTxt_ValeurLu(QStringLiteral("77"));
    FenetrePrincipale fenetre(journal, etat);
    fenetre.show();
    EXPECT_EQ(fenetre.findChild<QComboBox*>(QStringLiteral("Cmb_Simulate"))->currentText(),
              QStringLiteral("moduleLASERS"));
    EXPECT_TRUE(fenetre.findChild<QWidget*>(QStringLiteral("FrmModuleLasers"))->isVisible());
    EXPECT_EQ(fenetre.findChild<QLineEdit*>(QStringLiteral("Txt_ValeurLu"))->text(),
              QStringLiteral("77"));
}

} // namespace

namespace {

TEST(Police, NoCaptionIsCutWhateverTheDesktopFont)
{
    Journal journal;
    EtatAppareil etat(journal);
    FenetrePrincipale fenetre(journal, etat);
    for (QWidget* w : fenetre.findChildren<QWidget*>()) {
        QString texte;
        int marge = 0;
        if (auto* c = qobject_cast<QCheckBox*>(w)) {
            texte = c->text();
            marge = c->sizeHint().width() - c->fontMetrics().horizontalAdvance(texte);
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            // Position labels hold up to 8 characters.
            texte = l->objectName().startsWith(QLatin1String("Lbl_Pos"))
                        ? QStringLiteral("00000000")
                        : l->text();
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            texte = g->title();
        } else if (auto* b = qobject_cast<QPushButton*>(w)) {
            texte = b->text();
        }
        EXPECT_LE(w->fontMetrics().horizontalAdvance(texte) + marge, w->width())
            << w->objectName().toStdString();
    }
    EXPECT_LE(fenetre.font().pointSizeF(), 8.0);
}

} // namespace
