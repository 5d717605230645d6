#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

// Hôte CDAPI de banc : serveur TCP en boucle locale qui tient le rôle de
// VBtrevix. Il note chaque arrivée (octets et instant), acquitte ce qu'il reçoit
// (ou se tait), envoie le message qu'on lui donne et sait couper la connexion.
class HoteCdapi : public QObject
{
    Q_OBJECT
public:
    struct Arrivee
    {
        QByteArray octets;
        qint64 instantMs; // horloge monotone, même référence que HorlogeSysteme
    };

    explicit HoteCdapi(QObject* parent = nullptr);

    // Écoute sur 127.0.0.1 ; port 0 = port libre choisi par le système.
    bool Ecoute(quint16 port = 0);
    // Ne prend plus de connexion (la connexion en cours reste) : hôte arrêté.
    void ArreteEcoute();
    quint16 Port() const;
    // Vrai : chaque arrivée qui contient autre chose que des ACK reçoit un ACK.
    void RegleAck(bool repond) { m_repondAck = repond; }
    // Vrai : l'hôte ne lit plus sa socket (ni ACK ni note) ; ce qui arrive reste
    // dans les tampons du système, que l'écoute réduit à quelques kilo-octets
    // pour les connexions acceptées ensuite. Faux : il relit tout.
    void RegleSourd(bool sourd);

    bool Connecte() const;
    int NombreConnexions() const { return m_connexions; }
    const QList<Arrivee>& Arrivees() const { return m_arrivees; }
    // Tous les octets reçus depuis le dernier Oublie, bout à bout.
    QByteArray Recu() const;
    void Oublie() { m_arrivees.clear(); }

    // Écrit sur la connexion en cours ; faux sans connexion.
    bool Envoie(const QByteArray& octets);
    void FermeConnexion();
    // Coupe la connexion d'un RST (SO_LINGER à 0) : le service ne le voit qu'à sa
    // prochaine écriture, si ses événements n'ont pas tourné entre-temps.
    void CoupeConnexion();
    // Vrai : chaque connexion acceptée est refermée aussitôt (hôte qui accepte et ferme).
    void RegleFermetureImmediate(bool ferme) { m_fermetureImmediate = ferme; }

    // Demande d'éjection de n lignes (commande 12, poste 1, sortie 3, priorité 3) :
    // lignes de 36 caractères pour "CDAPI-B", de 13 sinon. Ligne i : code
    // "CIP000i" (A) ou "PRODUIT-B-000i" (B), quantité 2·i, drapeau "F", bourrage
    // "RESERVE-0i" (B).
    static QByteArray DemandeEjection(const QString& norme, int nbLignes, int commande = 12);

signals:
    void arrivee(const QByteArray& octets);
    void connexion();
    void deconnexion();

private:
    void NouvelleConnexion();
    void Lit();

    QTcpServer* m_serveur;
    QTcpSocket* m_client = nullptr;
    bool m_repondAck = true;
    bool m_sourd = false;
    bool m_fermetureImmediate = false;
    int m_connexions = 0;
    QList<Arrivee> m_arrivees;
};
