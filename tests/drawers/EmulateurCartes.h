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
class QTimer;

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
        Nul,            // un NUL au milieu de la charge, bonne somme
        Bavarde,        // 300 octets de bruit sans CR, puis un CR, au lieu de la réponse
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
    // Une réponse sur cent/pourcent en moyenne part avec une somme fausse (tirage
    // répétable : graine fixe).
    void MetTauxSommesFausses(const QByteArray& adresse, int pourcent);
    // Les « nombre » prochaines trames de cette commande vers cette carte restent sans réponse.
    void IgnoreProchaines(const QByteArray& adresse, char commande, int nombre);
    // Écrit des octets tels quels vers le service.
    void EnvoieBrut(const QByteArray& octets);
    // Carte en retard : chacune de ses réponses part « ms » millisecondes après la trame
    // (0 : tout de suite). Les réponses en retard restent dans l'ordre des trames.
    void MetRetard(const QByteArray& adresse, int ms);
    // Octets non sollicités : « motif » répété à « octetsParSeconde » pendant « dureeMs ».
    // Comme une UART débordée, ce que le pseudo-terminal ne prend pas est perdu.
    void Inonde(int octetsParSeconde, int dureeMs, const QByteArray& motif);
    bool InondationEnCours() const;
    // Octets de l'inondation réellement écrits vers le service.
    qint64 OctetsInondation() const;

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
        int retardMs = 0;
        int pourcentSommesFausses = 0;
    };

    void ActiveNotificateur();
    void CoupeNotificateur();
    void LitMaitre();
    void TraiteTrame(const QByteArray& brute);
    void Ecrit(const QByteArray& octets);
    void PoursuitInondation();

    mutable QMutex m_verrou;
    mutable QWaitCondition m_trameArrivee;
    QHash<QByteArray, Carte> m_cartes;
    QList<Trame> m_trames;
    QByteArray m_tampon;
    QElapsedTimer m_chrono;
    quint32 m_tirage = 12345; // générateur congruentiel : le même tirage à chaque essai

    // Inondation, menée dans le fil de l'émulateur.
    QByteArray m_motifInondation;
    qint64 m_debutInondation = 0;
    qint64 m_finInondation = 0;
    qint64 m_octetsParSeconde = 0;
    qint64 m_inondationPrevue = 0; // octets dus depuis le début
    qint64 m_inondationEcrite = 0;
    qint64 m_inondationPerdue = 0;
    QTimer* m_minuterieInondation = nullptr;

    int m_maitre = -1;
    int m_esclave = -1; // tenu ouvert : sans lui, le maître lirait EIO en boucle
    QString m_cheminEsclave;

    QThread m_fil;
    QObject* m_contexte = nullptr;
    QSocketNotifier* m_notificateur = nullptr;
};
