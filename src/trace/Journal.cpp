#include "Journal.h"

namespace {

bool estCommandeClear(const QString& message)
{
    return message.size() == 5 && message.compare(QLatin1String("CLEAR"), Qt::CaseInsensitive) == 0;
}

} // namespace

Journal::Journal(QObject* parent) : QObject(parent) {}

void Journal::AfficheMessage(const QString& message)
{
    if (estCommandeClear(message)) {
        texte.clear();
        emit contenuRemplace();
        return;
    }

    emit messageJournalise(message);

    // A message too long to ever be kept is not copied in just to be thrown away.
    if (texte.size() + message.size() + 2 > Capacite) {
        texte = MarqueCoupure;
        emit contenuRemplace();
        return;
    }

    texte += message;
    texte += QLatin1String("\r\n");
    emit ligneAjoutee(message);
}
