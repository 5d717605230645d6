#include "SignauxArret.h"

#include "app/F1Pelorane.h"

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int tubeSignaux[2] = { -1, -1 };

// Le gestionnaire de signal ne fait qu'écrire un octet : la fermeture elle-même a
// lieu sur le fil de la fenêtre, au prochain passage des événements.
void SurSignal(int)
{
    const char octet = 1;
    [[maybe_unused]] const auto n = ::write(tubeSignaux[1], &octet, 1);
}

} // namespace

void InstalleSignauxArret(F1Pelorane& fenetre)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, tubeSignaux) != 0)
        return;
    auto* notificateur = new QSocketNotifier(tubeSignaux[0], QSocketNotifier::Read, &fenetre);
    QObject::connect(notificateur, &QSocketNotifier::activated, &fenetre, [&fenetre] {
        char octet;
        [[maybe_unused]] const auto n = ::read(tubeSignaux[0], &octet, 1);
        fenetre.ArreteSansQuestion();
    });
    struct sigaction action = {};
    action.sa_handler = SurSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}
#else
void InstalleSignauxArret(F1Pelorane&)
{
}
#endif
