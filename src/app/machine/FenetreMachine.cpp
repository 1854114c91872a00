#include "FenetreMachine.h"

#include "PosteMachine.h"
#include "app/FenetrePrincipale.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QVBoxLayout>

namespace {

// A device in the selector: its name, its mode now and its port.
QString entree(PosteMachine& poste)
{
    return poste.nom() + QStringLiteral(" — ") + poste.etat().Cmb_Simulate() + QStringLiteral(" — ")
           + poste.etat().Txt_PortIP();
}

} // namespace

FenetreMachine::FenetreMachine(const std::vector<std::unique_ptr<PosteMachine>>& postes_,
                               const QString& fichier, QWidget* parent)
    : QWidget(parent), postes(postes_)
{
    setObjectName(QStringLiteral("Machine"));
    setWindowTitle(QStringLiteral("Velorin v" VELORIN_VERSION " — ") + fichier);
    disposition = new QVBoxLayout(this);
    disposition->setContentsMargins(0, 0, 0, 0);
    selecteur = new QComboBox(this);
    selecteur->setObjectName(QStringLiteral("Cmb_Appareil"));
    disposition->addWidget(selecteur);
    actualiseListe();
    connect(selecteur, &QComboBox::activated, this, &FenetreMachine::selectionne);
    for (std::size_t i = 0; i < postes.size(); ++i) {
        const int index = int(i);
        connect(&postes[i]->etat(), &EtatAppareil::change, selecteur, [this, index] {
            const QString texte = entree(*postes[std::size_t(index)]);
            if (selecteur->itemText(index) != texte)
                selecteur->setItemText(index, texte);
        });
    }
    if (!postes.empty())
        selectionne(0);
}

FenetreMachine::~FenetreMachine() = default;

void FenetreMachine::actualiseListe()
{
    const int garde = selecteur->currentIndex();
    selecteur->clear();
    for (const auto& poste : postes)
        selecteur->addItem(entree(*poste));
    selecteur->setCurrentIndex(garde < 0 ? 0 : garde);
}

void FenetreMachine::selectionne(int index)
{
    if (index < 0 || std::size_t(index) >= postes.size())
        return;
    PosteMachine& poste = *postes[std::size_t(index)];
    if (consoleAppareil && &consoleAppareil->etat() == &poste.etat())
        return;
    if (selecteur->currentIndex() != index)
        selecteur->setCurrentIndex(index);
    delete consoleAppareil;
    consoleAppareil = new FenetrePrincipale(poste.journal(), poste.etat(), this);
    // Its Exit button ends the program, as the window's own does.
    connect(consoleAppareil, &FenetrePrincipale::fermetureDemandee, this, &QWidget::close);
    disposition->addWidget(consoleAppareil, 1);
    consoleAppareil->show();
}

void FenetreMachine::closeEvent(QCloseEvent* evenement)
{
    emit fermetureDemandee();
    evenement->accept();
}
