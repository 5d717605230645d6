/*
 * Lignes de modem d'un câble null-modem, prêtées aux pseudo-terminaux, pour l'essai de bout en
 * bout sous Wine (chargé par LD_PRELOAD dans les processus Wine de cet essai seulement).
 *
 * Pourquoi : l'attente d'événements série de Wine (WaitCommEvent, dont se sert QSerialPort sous
 * Windows) lit l'état des lignes de modem (ioctl TIOCMGET) avant de regarder s'il y a des octets
 * reçus ; sur un pseudo-terminal Linux, TIOCMGET échoue (ENOTTY) et Wine annule l'attente sans
 * jamais signaler les octets arrivés : les réponses des cartes du simulateur ne seraient jamais
 * lues. Un vrai port COM a ces lignes ; ici, pour un pseudo-terminal seulement, TIOCMGET répond
 * CTS, DSR et DCD levés (ce que voit un câble null-modem branché), et TIOCMSET/TIOCMBIS/TIOCMBIC
 * (DTR, RTS) réussissent sans effet. Tout autre appel va au vrai ioctl.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

static int est_pseudo_terminal(int fd)
{
    struct stat st;
    /* Esclaves des pseudo-terminaux Unix 98 : majeurs 136 à 143. */
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long requete, ...)
{
    static int (*vrai)(int, unsigned long, ...);
    va_list args;
    va_start(args, requete);
    void *arg = va_arg(args, void *);
    va_end(args);
    if (!vrai)
        vrai = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    switch (requete) {
    case TIOCMGET:
        if (est_pseudo_terminal(fd)) {
            *(int *)arg = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_DTR | TIOCM_RTS;
            return 0;
        }
        break;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
        if (est_pseudo_terminal(fd))
            return 0;
        break;
    default:
        break;
    }
    return vrai(fd, requete, arg);
}
