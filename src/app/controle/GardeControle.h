#pragma once

#include "RequeteControle.h"

#include <QByteArray>
#include <QHostAddress>
#include <QHttpServerResponse>
#include <QStringList>

#include <functional>
#include <optional>
#include <variant>

// The control port's rules against strangers, asked before any route. A browser on this
// machine may be led by a page to send requests here: a Host other than this machine's (DNS
// rebinding) is refused, and a change must come as JSON or with a header of our own, which no
// cross-site form or no-cors fetch can send. A token, when given, is asked of every request.
class GardeControle
{
public:
    struct Reglages
    {
        QStringList hotes; // CONTROL_HOSTS=: names taken as this machine, lower case
        QByteArray jeton;  // CONTROL_TOKEN= or the file's: empty when none
    };

    // The keys' texts read, or why they are refused (the text names the key).
    static std::variant<Reglages, QString> lit(const std::optional<QString>& hotes,
                                               const std::optional<QString>& jeton,
                                               const std::optional<QString>& fichierJeton,
                                               const std::function<bool()>& interrompu);

    void regle(const Reglages& r, const QHostAddress& adresseLiee);
    bool aJeton() const { return !empreinteJeton.isEmpty(); }

    // The answer that turns the request away (its Host, its token), or nothing when it may
    // go on.
    std::optional<QHttpServerResponse> refuse(const RequeteControle& requete) const;
    // The same for a request that a route will let change something: it must come as JSON, or
    // with X-Velorin when it has no body.
    static std::optional<QHttpServerResponse> refuseChangement(const RequeteControle& requete);

private:
    bool hotePermis(const QByteArray& hote, const QHostAddress& locale) const;
    bool jetonPresente(const std::optional<QByteArray>& autorisation) const;

    QStringList hotes;
    QHostAddress liee;
    QByteArray empreinteJeton; // SHA-256 of the token, so every comparison has the same length
};
