#pragma once

#include "drawers/ReglageLigne.h"
#include "drawers/SuiviCartes.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSerialPort>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>

class Dialogues;
class JournalStatut;
struct Configuration;

// Ligne série des cartes d'extension (MSComm1) : ouverture, trames, échanges, sortie
// auxiliaire. Les échanges forment une file : un seul est sur le fil à la fois, chacun
// passe par ses états (en file, envoyé, pause avant la reprise, fini), menés par les
// arrivées du port, ses erreurs et des minuteries ; rien n'attend dans le fil des
// fenêtres. Le résultat de chaque échange part par son rappel et par le signal
// echangeTermine.
class LigneCartes : public QObject
{
    Q_OBJECT
public:
    // Reprise après un essai manqué, 0,4 s plus tard.
    enum class Reprise {
        Toujours,
        // Seulement si l'essai a reçu une réponse (refusée) : après un délai dépassé, la
        // réponse de la première trame peut encore venir et répondre à la seconde.
        SiReponseRecue,
        Jamais,
    };
    struct Demande
    {
        QByteArray corps;
        int delaiMs = 1000;
        Reprise reprise = Reprise::Toujours;
        // Charge d'un autre genre : elle répond à une trame passée ; elle est jetée
        // (une ligne au journal) et la lecture continue. Nulle : toute charge est prise.
        std::function<bool(const QByteArray&)> attendue;
    };
    using Rappel = std::function<void(const QByteArray& resultat)>;

    LigneCartes(JournalStatut& journal, Dialogues& dialogues, const Configuration& configuration,
                QObject* parent = nullptr);
    ~LigneCartes() override;

    // Faux quand le port n'a pas pu être ouvert : la boîte "erreur ouverture port COM"
    // a été montrée, l'appelant arrête alors le programme sans question.
    bool OuvrePortComm();
    void FermePortComm();
    bool EstOuvert() const;

    // Met un échange en file. Le rappel reçoit la charge utile ou un texte "Err:", sauf
    // si « contexte » a disparu entre-temps.
    void Envoie(Demande demande, QObject* contexte, Rappel rappel);
    // Échange avec une reprise, quel que soit l'échec.
    void EnvoiEtReponseGrindel2(const QByteArray& ChaineAenvoyerSScs, int TOautomEnMs, QObject* contexte,
                                Rappel rappel);
    SuiviCartes& Suivi() { return m_suivi; }

    // Sortie auxiliaire de la carte "Z45" : faux quand rien n'a été mis en file. Un échec
    // est écrit au journal quand l'échange finit ; « rappel » reçoit alors le résultat.
    bool AuxGri2(const QString& numAux, const QString& etatAux, Rappel rappel = {});

    // Intervalle des essais de réouverture après la perte du périphérique (3 s par défaut).
    void MetIntervalleReouverture(int millisecondes);
    // Vrai tant qu'un échange est sur le fil ou en file.
    bool EchangeEnCours() const { return !m_file.empty(); }
    // Octets reçus et gardés par la ligne (tampon de l'objet et tampon du port) : borné
    // par TamponPortMax + LongueurMaxReponse + 1, même sous une inondation.
    qint64 OctetsRetenus() const;

    // Ce que le port garde entre deux échanges ; au-delà, il cesse de lire et le
    // pilote retient ou perd le reste.
    static constexpr qint64 TamponPortMax = 4096;
    // Après un délai dépassé, la trame suivante attend ce temps : la réponse en retard
    // arrive alors hors échange et part avec le reste, au lieu de répondre à la trame
    // d'une autre carte.
    static constexpr int GardeApresTimeOutMs = 250;
    static constexpr int PauseRepriseMs = 400;
    // Échanges en file au plus ; au-delà, un échange est refusé avec une ligne.
    static constexpr int FileMax = 64;

signals:
    void echangeTermine(const QByteArray& corps, const QByteArray& resultat);
    // Le port a été perdu (vrai) ou rouvert (faux).
    void portPerdu(bool perdu);

private:
    enum class Etat { Libre, Garde, Envoye, Pause };
    struct Echange
    {
        Demande demande;
        // Un échange identique demandé pendant qu'il attend son tour ne part pas deux
        // fois : chaque demandeur a son rappel.
        QList<QPair<QPointer<QObject>, Rappel>> rappels;
        int essai = 0;
        QByteArray resultat;
    };

    QString CheminPeripherique() const;
    void AppliqueReglage(const ReglageLigne& reglage);
    QString MessageEchecOuverture() const;

    // Met sur le fil l'échange en tête de file, après la garde qui suit un délai dépassé.
    void Suivant();
    void EnvoieEssai();
    // Vide le port avant une trame ; une ligne au journal quand quelque chose a été jeté.
    void JetteRecuAvantTrame(const QByteArray& ligneCde);
    // Chaque réponse reconnue parmi des octets jetés paie une réponse due.
    void CompteLignesJetees(const QByteArray& jetes);
    void SurArrivee();
    void SurMinuterie();
    // Fin d'un essai ; reponseRecue : une ligne est arrivée (même refusée).
    void FinEssai(const QByteArray& resultat, bool reponseRecue);
    void Termine();

    void SurErreurPort(QSerialPort::SerialPortError erreur);
    void TraitePertePort();
    void EssaieReouverture();

    JournalStatut& m_journal;
    Dialogues& m_dialogues;
    const Configuration& m_configuration;

    QSerialPort m_port;
    ReglageLigne m_reglage;
    // Caractères de la réponse en cours de lecture.
    QByteArray m_recu;
    std::deque<Echange> m_file; // la tête est l'échange sur le fil
    Etat m_etat = Etat::Libre;
    // Pendant les rappels d'un échange fini : les échanges qu'ils demandent attendent la
    // fin des rappels pour partir (des sorties identiques se rejoignent alors).
    bool m_dansRappels = false;
    QTimer m_minuterie; // délai de réponse, pause avant la reprise, garde
    // Démarré au dernier délai dépassé, invalide sinon.
    QElapsedTimer m_depuisTimeOut;
    bool m_perteSignalee = false;
    QString m_textePerte;
    QTimer m_minuterieReouverture;
    SuiviCartes m_suivi;
};
