#pragma once

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

// A blocking HTTP client for tests: each call runs the event loop until the answer comes.
class ClientHttp
{
public:
    struct Reponse
    {
        int statut = 0;
        QJsonObject json;
    };

    explicit ClientHttp(quint16 port, QByteArray jeton_ = {})
        : base(QStringLiteral("http://127.0.0.1:%1").arg(port)), jeton(std::move(jeton_))
    {
    }

    Reponse get(const QString& chemin) { return envoie("GET", chemin, {}); }
    Reponse post(const QString& chemin) { return envoie("POST", chemin, {}); }
    Reponse patch(const QByteArray& corps)
    {
        return envoie("PATCH", QStringLiteral("/state"), corps);
    }
    Reponse envoie(const QByteArray& methode, const QString& chemin, const QByteArray& corps)
    {
        return recoit(lance(methode, chemin, corps), 5000);
    }
    // A request whose answer is taken later (a wait): it goes out as the event loop turns.
    QNetworkReply* lance(const QByteArray& methode, const QString& chemin, const QByteArray& corps)
    {
        QNetworkRequest requete(QUrl(base + chemin));
        requete.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        if (!jeton.isEmpty())
            requete.setRawHeader("Authorization", "Bearer " + jeton);
        return acces.sendCustomRequest(requete, methode, corps);
    }
    Reponse recoit(QNetworkReply* reponse, int delaiMs = 30000)
    {
        QEventLoop boucle;
        QObject::connect(reponse, &QNetworkReply::finished, &boucle, &QEventLoop::quit);
        QTimer::singleShot(delaiMs, &boucle, &QEventLoop::quit);
        if (!reponse->isFinished())
            boucle.exec();
        Reponse r;
        r.statut = reponse->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        r.json = QJsonDocument::fromJson(reponse->readAll()).object();
        reponse->deleteLater();
        return r;
    }

private:
    QString base;
    QByteArray jeton;
    QNetworkAccessManager acces;
};
