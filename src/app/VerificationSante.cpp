#include "VerificationSante.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Horloge = std::chrono::steady_clock;

struct Adresse
{
    std::string hote;
    std::string port;
    std::string chemin;
};

// "http://hôte:port/chemin", the host an IPv4 address, a name or an IPv6 address in brackets;
// without a path, /health.
bool litAdresse(const std::string& texte, Adresse& adresse)
{
    const std::string schema = "http://";
    if (texte.compare(0, schema.size(), schema) != 0)
        return false;
    const std::string reste = texte.substr(schema.size());
    const std::size_t barre = reste.find('/');
    const std::string autorite = reste.substr(0, barre);
    adresse.chemin = barre == std::string::npos ? "/health" : reste.substr(barre);
    const std::size_t deuxPoints = autorite.rfind(':');
    if (deuxPoints == std::string::npos || deuxPoints + 1 == autorite.size())
        return false;
    adresse.hote = autorite.substr(0, deuxPoints);
    adresse.port = autorite.substr(deuxPoints + 1);
    if (adresse.hote.size() >= 2 && adresse.hote.front() == '[' && adresse.hote.back() == ']')
        adresse.hote = adresse.hote.substr(1, adresse.hote.size() - 2);
    const bool portChiffres = adresse.port.size() <= 5
                              && adresse.port.find_first_not_of("0123456789") == std::string::npos;
    // The path goes into the request line as it is: no blank nor line end may split it.
    const bool cheminSur = adresse.chemin.find_first_of(" \r\n") == std::string::npos;
    return !adresse.hote.empty() && portChiffres && cheminSur;
}

int resteMs(Horloge::time_point fin)
{
    const auto reste = std::chrono::duration_cast<std::chrono::milliseconds>(fin - Horloge::now());
    return reste.count() > 0 ? int(reste.count()) : 0;
}

// Waits until the socket can be read or written, or the deadline passes.
bool attend(int socket, short evenement, Horloge::time_point fin)
{
    pollfd attente{socket, evenement, 0};
    for (;;) {
        const int n = poll(&attente, 1, resteMs(fin));
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

// A connected socket to one of the host's addresses, or -1 with `raison` said.
int connecte(const Adresse& adresse, Horloge::time_point fin, std::string& raison)
{
    addrinfo indices{};
    indices.ai_family = AF_UNSPEC;
    indices.ai_socktype = SOCK_STREAM;
    addrinfo* adresses = nullptr;
    if (const int erreur =
            getaddrinfo(adresse.hote.c_str(), adresse.port.c_str(), &indices, &adresses)) {
        raison = gai_strerror(erreur);
        return -1;
    }
    int connectee = -1;
    for (addrinfo* a = adresses; a && connectee < 0; a = a->ai_next) {
        const int s =
            socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (s < 0)
            continue;
        int erreur = 0;
        if (connect(s, a->ai_addr, a->ai_addrlen) != 0) {
            erreur = errno;
            if (erreur == EINPROGRESS) {
                socklen_t taille = sizeof erreur;
                erreur = attend(s, POLLOUT, fin)
                                 && getsockopt(s, SOL_SOCKET, SO_ERROR, &erreur, &taille) == 0
                             ? erreur
                             : ETIMEDOUT;
            }
        }
        if (erreur == 0)
            connectee = s;
        else {
            raison = std::strerror(erreur);
            close(s);
        }
    }
    freeaddrinfo(adresses);
    return connectee;
}

// The status line of the answer to one GET, or empty with `raison` said.
std::string statut(int socket, const Adresse& adresse, Horloge::time_point fin, std::string& raison)
{
    const std::string requete = "GET " + adresse.chemin + " HTTP/1.1\r\nHost: " + adresse.hote
                                + "\r\nConnection: close\r\n\r\n";
    for (std::size_t envoye = 0; envoye < requete.size();) {
        if (!attend(socket, POLLOUT, fin)) {
            raison = "délai dépassé";
            return {};
        }
        const ssize_t n =
            send(socket, requete.data() + envoye, requete.size() - envoye, MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            raison = std::strerror(errno);
            return {};
        }
        envoye += n > 0 ? std::size_t(n) : 0;
    }
    // Only the first line is read, and no more than a status line holds.
    std::string recu;
    while (recu.find("\r\n") == std::string::npos && recu.size() < 256) {
        if (!attend(socket, POLLIN, fin)) {
            raison = "délai dépassé";
            return {};
        }
        char morceau[256];
        const ssize_t n = recv(socket, morceau, sizeof morceau, 0);
        if (n == 0)
            break;
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            raison = std::strerror(errno);
            return {};
        }
        recu.append(morceau, n > 0 ? std::size_t(n) : 0);
    }
    const std::size_t finLigne = recu.find("\r\n");
    if (finLigne == std::string::npos) {
        raison = "réponse qui n'est pas du HTTP";
        return {};
    }
    return recu.substr(0, finLigne);
}

} // namespace

int verifieSante(const char* texte)
{
    Adresse adresse;
    if (!texte || !litAdresse(texte, adresse)) {
        std::fprintf(stderr,
                     "velorin --check-health : adresse invalide \"%s\" : "
                     "http://hôte:port/chemin est attendu\n",
                     texte ? texte : "");
        return 1;
    }
    const auto fin = Horloge::now() + std::chrono::milliseconds(DelaiVerificationSanteMs);
    std::string raison;
    const int socket = connecte(adresse, fin, raison);
    if (socket < 0) {
        std::fprintf(stderr, "velorin --check-health : %s : %s\n", texte, raison.c_str());
        return 1;
    }
    const std::string ligne = statut(socket, adresse, fin, raison);
    close(socket);
    // "HTTP/1.1 200 OK": the code is the second word.
    const std::size_t blanc = ligne.find(' ');
    const bool enBonneSante = blanc != std::string::npos && ligne.compare(blanc + 1, 3, "200") == 0
                              && (ligne.size() == blanc + 4 || ligne[blanc + 4] == ' ');
    if (ligne.empty())
        std::fprintf(stderr, "velorin --check-health : %s : %s\n", texte, raison.c_str());
    else
        std::fprintf(enBonneSante ? stdout : stderr, "velorin --check-health : %s : %s\n", texte,
                     ligne.c_str());
    return enBonneSante ? 0 : 1;
}
