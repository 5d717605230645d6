#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QThread>
#include <atomic>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <sys/socket.h>
#endif

class FileDatagrammes;

// Fil de lecture de la socket des datagrammes de fin de convoyage. Il vide la socket
// à pleine vitesse, filtre les expéditeurs, lit chaque datagramme (règle pure) et
// dépose le résultat dans la file bornée ; il ne touche ni aux tiroirs ni au journal.
// Le signal aDeposer (connexion en file) réveille le fil des fenêtres, une fois par
// passage de la file de vide à non vide.
class FilLectureUdp : public QThread
{
    Q_OBJECT
public:
    // descripteur : socket UDP déjà liée ; le fil la ferme en finissant.
    FilLectureUdp(qintptr descripteur, FileDatagrammes& file, QObject* parent = nullptr);

    // Expéditeurs admis (liste vide : tous) ; appelable depuis le fil des fenêtres.
    void AdmetSources(const QList<QHostAddress>& sources, bool filtre);

    // Datagrammes lus depuis le démarrage, admis ou non.
    qint64 DatagrammesRecus() const { return m_recus.load(); }

    // Un datagramme UDP tient toujours dans 65 536 octets : aucun n'est tronqué.
    static constexpr int OctetsParDatagramme = 65536;
    // Datagrammes lus d'affilée avant de rendre la main à la boucle du fil (pour que
    // l'arrêt soit entendu même sous un flot continu).
    static constexpr int LecturesParReveil = 4096;
    // Période du filet qui relance la lecture si des datagrammes attendent.
    static constexpr int FiletMs = 500;
    // Expéditeurs refusés signalés au plus, pour que la mémoire reste bornée.
    static constexpr int ExpediteursSignalesMax = 256;

signals:
    void aDeposer();

protected:
    void run() override;

private:
    // Tampons d'un paquet de lectures (1 Mio), alloués une fois par fil.
    struct Reception
    {
        static constexpr int Paquet = 16;
        Reception();
        QByteArray tampons[Paquet];
        sockaddr_storage expediteurs[Paquet];
        qsizetype longueurs[Paquet] = {};
#ifndef Q_OS_WIN
        iovec vecteurs[Paquet];
        mmsghdr messages[Paquet];
#endif
    };
    void Vide(Reception& reception);
    // Lit sans attendre au plus Reception::Paquet datagrammes ; rend leur nombre (0 : rien).
    int LitPaquet(Reception& r);
    bool SourceAdmise(const sockaddr* adresse);

    qintptr m_descripteur;
    FileDatagrammes& m_file;
    std::atomic<qint64> m_recus{ 0 };
    QMutex m_verrouSources;
    bool m_filtre = false;
    QList<QHostAddress> m_sources;
    QSet<QString> m_refusesSignales; // seulement dans le fil de lecture (vidé sous le verrou)
};
