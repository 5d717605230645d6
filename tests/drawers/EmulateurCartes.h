#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

class QObject;
class QSocketNotifier;

// Cartes d'extension simulées au bout d'un pseudo-terminal. L'émulateur tient le côté
// maître et tourne dans son propre fil : le service bloque son fil sans événement en
// attendant une réponse (lectReponseComm), l'émulateur doit pouvoir répondre pendant
// ce temps. Toutes les méthodes publiques s'appellent depuis n'importe quel fil.
class EmulateurCartes
{
public:
    enum class Comportement {
        Normal,
        Silencieux,     // ne répond jamais
        SommeFausse,    // somme de contrôle fausse
        SommeMinuscule, // bonne somme, écrite en minuscules
        EnMorceaux,     // réponse envoyée en trois morceaux espacés
        DeuxReponses,   // la réponse et une seconde d'un coup
    };

    struct Trame
    {
        QByteArray brute;  // octets reçus, CR compris
        QByteArray corps;  // entre ESC et la somme
        bool sommeJuste = false;
        qint64 instantMs = 0; // sur la base de temps de Maintenant()
    };

    EmulateurCartes();
    ~EmulateurCartes();
    EmulateurCartes(const EmulateurCartes&) = delete;
    EmulateurCartes& operator=(const EmulateurCartes&) = delete;

    // Crée un pseudo-terminal neuf (aussi après FermeMaitre) ; faux et le texte sinon.
    bool Ouvre(QString* erreur = nullptr);
    QString CheminEsclave() const;
    // Ferme le côté maître : pour le service, le périphérique a disparu.
    void FermeMaitre();

    // Une carte déclarée répond : "V" et "X" par une charge fixe, "G" par "11".
    void DeclareCarte(const QByteArray& adresse);
    void MetReponse(const QByteArray& adresse, char commande, const QByteArray& charge);
    void MetComportement(const QByteArray& adresse, Comportement comportement);
    // Charge de la seconde réponse du comportement DeuxReponses.
    void MetSecondeReponse(const QByteArray& adresse, const QByteArray& charge);
    // Les « nombre » prochaines trames de cette commande vers cette carte restent sans réponse.
    void IgnoreProchaines(const QByteArray& adresse, char commande, int nombre);
    // Écrit des octets tels quels vers le service.
    void EnvoieBrut(const QByteArray& octets);

    QList<Trame> Trames() const;
    void OublieTrames();
    // Attend (sans événement) qu'au moins « nombre » trames soient arrivées.
    bool AttendTrames(int nombre, int delaiMs) const;
    qint64 Maintenant() const;

    static constexpr char ApresBarre = 'A';

private:
    struct Carte
    {
        QHash<char, QByteArray> reponses;
        QHash<char, int> silences;
        Comportement comportement = Comportement::Normal;
        QByteArray seconde = QByteArrayLiteral("11");
    };

    void ActiveNotificateur();
    void CoupeNotificateur();
    void LitMaitre();
    void TraiteTrame(const QByteArray& brute);
    void Ecrit(const QByteArray& octets);

    mutable QMutex m_verrou;
    mutable QWaitCondition m_trameArrivee;
    QHash<QByteArray, Carte> m_cartes;
    QList<Trame> m_trames;
    QByteArray m_tampon;
    QElapsedTimer m_chrono;

    int m_maitre = -1;
    int m_esclave = -1; // tenu ouvert : sans lui, le maître lirait EIO en boucle
    QString m_cheminEsclave;

    QThread m_fil;
    QObject* m_contexte = nullptr;
    QSocketNotifier* m_notificateur = nullptr;
};
