#include "LectureJournal.h"

#include "LectureBornee.h"

#include <QHash>
#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// A JSON number that is a whole number, as qint64.
std::optional<qint64> entier(const QJsonValue& v)
{
    if (!v.isDouble())
        return std::nullopt;
    // toInteger gives its default back for anything that is not a whole number: two different
    // defaults tell the two cases apart.
    const qint64 a = v.toInteger(0);
    if (a != v.toInteger(1))
        return std::nullopt;
    return a;
}

QString nom(const char* champ)
{
    return QStringLiteral("\"%1\"").arg(QLatin1String(champ));
}

// The line's event, or what is wrong with it (without the line number).
std::variant<EvenementLu, QString> litLigne(const QByteArray& texte, qint64 numero)
{
    QJsonParseError erreur{};
    const QJsonDocument document = QJsonDocument::fromJson(texte, &erreur);
    if (erreur.error != QJsonParseError::NoError)
        return QStringLiteral("JSON invalide");
    if (!document.isObject())
        return QStringLiteral("un objet JSON est attendu");
    const QJsonObject objet = document.object();

    EvenementLu evenement{};
    evenement.ligne = numero;
    const QJsonValue event = objet.value(QLatin1String("event"));
    if (event.isUndefined())
        return nom("event") + QStringLiteral(" manque");
    if (!event.isString())
        return nom("event") + QStringLiteral(" doit être un texte");
    evenement.type = event.toString();

    const QJsonValue t = objet.value(QLatin1String("t"));
    if (t.isUndefined())
        return nom("t") + QStringLiteral(" manque");
    if (!t.isString())
        return nom("t") + QStringLiteral(" doit être un texte");

    const QJsonValue mono = objet.value(QLatin1String("mono_us"));
    if (mono.isUndefined())
        return nom("mono_us") + QStringLiteral(" manque");
    const auto monoUs = entier(mono);
    if (!monoUs)
        return nom("mono_us") + QStringLiteral(" doit être un entier");
    evenement.monoUs = *monoUs;

    const QJsonValue canal = objet.value(QLatin1String("channel"));
    if (!canal.isUndefined()) {
        const auto n = entier(canal);
        if (!n || *n < 0 || *n > std::numeric_limits<int>::max())
            return nom("channel") + QStringLiteral(" doit être un entier positif ou nul");
        evenement.canal = int(*n);
    }

    const QJsonValue pair = objet.value(QLatin1String("peer"));
    if (!pair.isUndefined() && !pair.isString())
        return nom("peer") + QStringLiteral(" doit être un texte");
    evenement.pair = pair.toString();

    const QJsonValue data = objet.value(QLatin1String("data"));
    if (!data.isUndefined() && !data.isString())
        return nom("data") + QStringLiteral(" doit être un texte");
    evenement.donnees = data.toString();

    const QJsonValue len = objet.value(QLatin1String("len"));
    if (!len.isUndefined()) {
        const auto n = entier(len);
        if (!n)
            return nom("len") + QStringLiteral(" doit être un entier");
        if (!data.isUndefined() && *n != evenement.donnees.size())
            return QStringLiteral("%1 (%2) ne correspond pas à %3 (%4)")
                .arg(nom("len"))
                .arg(*n)
                .arg(nom("data"))
                .arg(evenement.donnees.size());
    }

    const QJsonValue origine = objet.value(QLatin1String("origin"));
    if (!origine.isUndefined() && !origine.isString())
        return nom("origin") + QStringLiteral(" doit être un texte");
    evenement.deVelorin = origine.toString() == QLatin1String("velorin");

    const QJsonValue appareil = objet.value(QLatin1String("device"));
    if (!appareil.isUndefined()) {
        if (!appareil.isString() || !nomAppareilValide(appareil.toString()))
            return nom("device") + QStringLiteral(" doit être un nom (lettres, chiffres, - et _)");
        evenement.appareil = appareil.toString();
    }

    // Bytes on the wire: a channel to put them on and one byte per character.
    if (evenement.type == QLatin1String("recv") || evenement.type == QLatin1String("send")) {
        if (canal.isUndefined())
            return QStringLiteral("\"%1\" sans \"channel\"").arg(evenement.type);
        if (data.isUndefined())
            return QStringLiteral("\"%1\" sans \"data\"").arg(evenement.type);
        for (const QChar c : std::as_const(evenement.donnees)) {
            if (c.unicode() > 255)
                return nom("data") + QStringLiteral(" contient un caractère au-delà de 255");
        }
    }
    return evenement;
}

} // namespace

bool nomAppareilValide(const QString& nom)
{
    return !nom.isEmpty() && std::all_of(nom.begin(), nom.end(), [](QChar c) {
        return c.unicode() < 128
               && (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_'));
    });
}

std::variant<QList<EvenementLu>, ErreurJournal>
litJournal(const QString& chemin, QString* avertissement, const std::function<bool()>& interrompu)
{
    const auto lu = LectureBornee{TailleMaxJournalLu, interrompu}.lit(chemin);
    if (const auto* echec = std::get_if<LectureBornee::Echec>(&lu))
        return ErreurJournal{
            0, QStringLiteral("impossible de lire %1 : %2").arg(chemin, echec->message),
            echec->cause == LectureBornee::Echec::Cause::Interrompue};
    return litJournalTexte(std::get<QByteArray>(lu), avertissement);
}

std::variant<QList<EvenementLu>, ErreurJournal> litJournal(QIODevice& source,
                                                           QString* avertissement)
{
    // Read whole first: a sequential device (a pipe) may say it is at its end before its
    // bytes have come.
    return litJournalTexte(source.readAll(), avertissement);
}

std::variant<QList<EvenementLu>, ErreurJournal> litJournalTexte(const QByteArray& texte,
                                                                QString* avertissement)
{
    QList<EvenementLu> evenements;
    qint64 numero = 0;
    for (qsizetype debut = 0; debut < texte.size();) {
        qsizetype fin = texte.indexOf('\n', debut);
        const bool coupee = fin < 0;
        if (coupee)
            fin = texte.size();
        const QByteArray ligne = texte.sliced(debut, fin - debut);
        debut = fin + 1;
        ++numero;
        if (ligne.trimmed().isEmpty())
            continue;
        auto lu = litLigne(ligne, numero);
        if (auto* message = std::get_if<QString>(&lu)) {
            if (coupee) {
                if (avertissement)
                    *avertissement =
                        QStringLiteral("ligne %1 coupée avant sa fin, ignorée").arg(numero);
                break;
            }
            return ErreurJournal{numero, QStringLiteral("ligne %1 : %2").arg(numero).arg(*message)};
        }
        evenements.append(std::get<EvenementLu>(std::move(lu)));
    }
    return evenements;
}

QList<Conversation> conversations(const QList<EvenementLu>& evenements)
{
    QList<Conversation> resultat;
    // (device, channel) -> its conversation in resultat
    QHash<std::pair<QString, int>, qsizetype> ouvertes;
    const auto courante = [&](const EvenementLu& e) -> Conversation& {
        auto it = ouvertes.constFind({e.appareil, e.canal});
        if (it == ouvertes.constEnd()) {
            it = ouvertes.insert({e.appareil, e.canal}, resultat.size());
            resultat.append(Conversation{e.canal, e.pair, {}, {}, e.appareil, e.ligne});
        }
        Conversation& conversation = resultat[*it];
        if (conversation.pair.isEmpty())
            conversation.pair = e.pair;
        return conversation;
    };

    for (const EvenementLu& e : evenements) {
        if (e.canal < 0)
            continue;
        if (e.type == QLatin1String("connect")) {
            ouvertes.remove({e.appareil, e.canal});
            courante(e);
        } else if (e.type == QLatin1String("recv")) {
            courante(e).echanges.append(Echange{e.donnees, {}, e.ligne, e.monoUs});
        } else if (e.type == QLatin1String("send") && e.deVelorin) {
            courante(e).avis.append(e.donnees);
        } else if (e.type == QLatin1String("send")) {
            Conversation& conversation = courante(e);
            if (conversation.echanges.isEmpty())
                conversation.echanges.append(Echange{{}, {}, e.ligne, e.monoUs});
            conversation.echanges.last().reponse += e.donnees;
        } else if (e.type == QLatin1String("close")) {
            ouvertes.remove({e.appareil, e.canal});
        }
    }
    return resultat;
}
