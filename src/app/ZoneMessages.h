#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class Journal;
class QPlainTextEdit;

// The message area as a view of the log. Under load the log grows by thousands of lines a
// second: the area follows it at most every 50 ms, with all that came meanwhile at once, laid
// out in slices between requests and painted once. The log itself is always exact.
// The operator may type into the area: the edit goes into the log where it was made, and
// nothing else of the log changes (its CR, LF and non-breaking spaces stay as they are).
class ZoneMessages : public QObject
{
    Q_OBJECT

public:
    ZoneMessages(Journal& journal, QPlainTextEdit& zone, QObject* parent = nullptr);

    // Brings the area up to the log at once.
    void synchronise();

    // The area's own text for a piece of the log: every line end (CR LF, CR or LF) is one
    // paragraph separator there.
    static QString texteAffiche(QStringView texte);
    // Where, in the log, the area's character at `position` comes from; `journal` is what the
    // area shows.
    static qsizetype positionDansJournal(QStringView journal, qsizetype position);

private:
    void ligneAjoutee();
    void contenuRemplace();
    void programme();
    void peinture(bool permise);
    void commence(qsizetype lignesParTranche);
    void poursuit(qsizetype lignesParTranche);
    void editionOperateur();

    Journal& journal;
    QPlainTextEdit& zone;
    bool miseAJour = false;         // the program, not the operator, is writing the area
    QTimer synchro;                 // the next refresh
    QTimer tranche;                 // the next slice of a refresh under way
    QString instantane;             // the log as the refresh under way shows it
    qsizetype longueurAffichee = 0; // how much of the log the area shows
    QString affiche;                // the area's text, as it stood after the last change
    bool aRemplacer = false;        // the log was emptied or cut back since
    bool ligneDepuisSynchro = false;
};
