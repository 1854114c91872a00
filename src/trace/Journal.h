#pragma once

#include "SortieMessages.h"

#include <QObject>
#include <QString>

// The text of the message area. Lines end in CR LF; "clear" in any letter case empties it;
// past 20000 characters the whole text gives way to the cut-back marker. The window shows
// this text and follows it through the signals.
class Journal : public QObject, public SortieMessages
{
    Q_OBJECT

public:
    static constexpr qsizetype Capacite = 20000;
    static inline const QString MarqueCoupure = QStringLiteral("....\r\n");

    explicit Journal(QObject* parent = nullptr);

    void AfficheMessage(const QString& message) override;
    // The operator typed into the message area: the text shown is the log from now on.
    void remplaceContenu(const QString& saisi) { texte = saisi; }

    const QString& contenu() const { return texte; }

signals:
    // The text grew by the message and CR LF.
    void ligneAjoutee(const QString& message);
    // The text was emptied or cut back: read it again whole.
    void contenuRemplace();
    // Every appended line, kept or cut back: the complete record of the session.
    void messageJournalise(const QString& message);

private:
    QString texte;
};
