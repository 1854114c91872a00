#include "ZoneMessages.h"

#include "trace/Journal.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

#include <limits>

namespace {

// Lines of the area laid out in one go (about 0.5 ms).
constexpr qsizetype LignesParTranche = 100;

// What QTextDocument makes of a line end, and gives back in its raw text.
constexpr QChar FinDeParagraphe = QChar::ParagraphSeparator;

// Length of the line end at `i`, 0 when there is none.
qsizetype finDeLigne(QStringView texte, qsizetype i)
{
    if (texte[i] == QLatin1Char('\r'))
        return i + 1 < texte.size() && texte[i + 1] == QLatin1Char('\n') ? 2 : 1;
    return texte[i] == QLatin1Char('\n') ? 1 : 0;
}

} // namespace

ZoneMessages::ZoneMessages(Journal& journal_, QPlainTextEdit& zone_, QObject* parent)
    : QObject(parent), journal(journal_), zone(zone_)
{
    synchro.setSingleShot(true);
    synchro.setInterval(50);
    connect(&synchro, &QTimer::timeout, this, [this] { commence(LignesParTranche); });
    tranche.setSingleShot(true);
    tranche.setInterval(0);
    connect(&tranche, &QTimer::timeout, this, [this] { poursuit(LignesParTranche); });
    connect(&journal, &Journal::ligneAjoutee, this, &ZoneMessages::ligneAjoutee);
    connect(&journal, &Journal::contenuRemplace, this, &ZoneMessages::contenuRemplace);
    connect(&zone, &QPlainTextEdit::textChanged, this, &ZoneMessages::editionOperateur);
}

QString ZoneMessages::texteAffiche(QStringView texte)
{
    QString resultat;
    resultat.reserve(texte.size());
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const qsizetype fin = finDeLigne(texte, i);
        if (fin == 0) {
            resultat += texte[i];
            continue;
        }
        resultat += FinDeParagraphe;
        i += fin - 1;
    }
    return resultat;
}

qsizetype ZoneMessages::positionDansJournal(QStringView texte, qsizetype position)
{
    qsizetype i = 0;
    for (qsizetype vu = 0; vu < position && i < texte.size(); ++vu)
        i += std::max<qsizetype>(1, finDeLigne(texte, i));
    return i;
}

void ZoneMessages::ligneAjoutee()
{
    ligneDepuisSynchro = true;
    programme();
}

void ZoneMessages::contenuRemplace()
{
    aRemplacer = true;
    programme();
}

void ZoneMessages::programme()
{
    if (!synchro.isActive() && !tranche.isActive())
        synchro.start();
}

void ZoneMessages::synchronise()
{
    synchro.stop();
    tranche.stop();
    commence(std::numeric_limits<qsizetype>::max());
}

// Only the text and its vertical scroll bar change with the log: repainting the whole area
// would repaint its frame too, and the frame caption that overlaps it.
void ZoneMessages::peinture(bool permise)
{
    zone.viewport()->setUpdatesEnabled(permise);
    zone.verticalScrollBar()->setUpdatesEnabled(permise);
}

// A refresh shows the log as it stands when the refresh begins. After a cut-back that is a
// whole area to lay out (some 400 lines, 2 ms): it goes in slices, and requests are served
// between two slices instead of waiting for the whole. The area is painted once, at the end.
void ZoneMessages::commence(qsizetype lignesParTranche)
{
    peinture(false);
    if (aRemplacer || longueurAffichee > journal.contenu().size()) {
        miseAJour = true;
        zone.clear();
        miseAJour = false;
        longueurAffichee = 0;
        affiche.clear();
        aRemplacer = false;
    }
    instantane = journal.contenu();
    poursuit(lignesParTranche);
}

void ZoneMessages::poursuit(qsizetype lignesParTranche)
{
    qsizetype fin = longueurAffichee;
    for (qsizetype n = 0; n < lignesParTranche && fin < instantane.size(); ++n) {
        const qsizetype finLigne = instantane.indexOf(QLatin1String("\r\n"), fin);
        fin = finLigne < 0 ? instantane.size() : finLigne + 2;
    }
    miseAJour = true;
    if (fin > longueurAffichee) {
        // Only the new lines are laid out, however long the area already is.
        const QString nouveau =
            texteAffiche(QStringView(instantane).mid(longueurAffichee, fin - longueurAffichee));
        QTextCursor curseur(zone.document());
        curseur.movePosition(QTextCursor::End);
        curseur.insertText(nouveau);
        affiche += nouveau;
        longueurAffichee = fin;
    }
    if (fin < instantane.size()) {
        miseAJour = false;
        tranche.start();
        return;
    }
    instantane = QString();
    peinture(true);
    const bool resteAFaire = aRemplacer || longueurAffichee != journal.contenu().size();
    if (ligneDepuisSynchro) {
        QTextCursor curseur(zone.document());
        curseur.movePosition(QTextCursor::End);
        zone.setTextCursor(curseur);
        ligneDepuisSynchro = resteAFaire;
    }
    miseAJour = false;
    // What came in meanwhile waits for the next refresh.
    if (resteAFaire)
        programme();
}

// What the operator changed is found by comparing the area's raw text (line ends as paragraph
// separators, non-breaking spaces kept) with what it showed before; only that span of the log
// is replaced. Lines logged since the area was last brought up to date follow. When the whole
// area is about to be replaced (a clear or a cut-back came meanwhile), the edit is as if made
// just before that, which would have swept it away too.
void ZoneMessages::editionOperateur()
{
    if (miseAJour || aRemplacer)
        return;
    const QString maintenant = zone.document()->toRawText();
    qsizetype debut = 0;
    const qsizetype communMax = std::min(maintenant.size(), affiche.size());
    while (debut < communMax && maintenant[debut] == affiche[debut])
        ++debut;
    qsizetype fin = 0;
    while (fin < communMax - debut
           && maintenant[maintenant.size() - 1 - fin] == affiche[affiche.size() - 1 - fin])
        ++fin;

    const QStringView montre = QStringView(journal.contenu()).left(longueurAffichee);
    const qsizetype debutJournal = positionDansJournal(montre, debut);
    const qsizetype finJournal = positionDansJournal(montre, affiche.size() - fin);
    QString saisi = maintenant.mid(debut, maintenant.size() - fin - debut);
    saisi.replace(FinDeParagraphe, QLatin1String("\r\n"));

    const QString texte =
        journal.contenu().left(debutJournal) + saisi + journal.contenu().mid(finJournal);
    longueurAffichee += saisi.size() - (finJournal - debutJournal);
    affiche = maintenant;
    journal.remplaceContenu(texte);
    // A refresh under way goes on from the operator's text.
    if (!instantane.isNull())
        instantane = texte;
}
