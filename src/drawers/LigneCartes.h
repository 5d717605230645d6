#pragma once

#include "drawers/ReglageLigne.h"
#include "drawers/SuiviCartes.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>
#include <functional>

class Dialogues;
class Horloge;
class JournalStatut;
struct Configuration;

// Ligne série des cartes d'extension (MSComm1) : ouverture, trames, échange avec
// une reprise, sortie auxiliaire. Un seul échange à la fois sur la ligne.
class LigneCartes : public QObject
{
    Q_OBJECT
public:
    LigneCartes(JournalStatut& journal, Horloge& horloge, Dialogues& dialogues,
                const Configuration& configuration, QObject* parent = nullptr);
    ~LigneCartes() override;

    // Faux quand le port n'a pas pu être ouvert : la boîte "erreur ouverture port COM"
    // a été montrée, l'appelant arrête alors le programme sans question.
    bool OuvrePortComm();
    void FermePortComm();
    bool EstOuvert() const;

    // Charge utile de la réponse, ou un texte commençant par "Err:".
    QByteArray EnvoiEtReponseGrindel2(const QByteArray& ChaineAenvoyerSScs, int TOautomEnMs);
    // Un seul essai dont la réponse doit être du genre attendu : une ligne d'un autre
    // genre reçue dans le délai répond à une trame passée ; elle est jetée (une ligne au
    // journal) et la lecture continue. Une trame "G" sans bonne réponse laisse une
    // réponse "G" en route (SuiviCartes).
    QByteArray EchangeVerifie(const QByteArray& corps, int delaiMs,
                              const std::function<bool(const QByteArray&)>& attendue);
    // Lit et jette ce qui est arrivé, au plus maxMs, tant qu'une réponse "G" en route
    // n'est pas arrivée ; vrai si elle est encore attendue.
    bool AttendLectureGEnRoute(int maxMs, const QByteArray& corpsSuivant);
    SuiviCartes& Suivi() { return m_suivi; }

    // Sortie auxiliaire de la carte "Z45" ; "" quand rien n'a été envoyé.
    QByteArray AuxGri2(const QString& numAux, const QString& etatAux);

    // Intervalle des essais de réouverture après la perte du périphérique (3 s par défaut).
    void MetIntervalleReouverture(int millisecondes);
    // Vrai pendant un échange, pauses entre les deux essais comprises.
    bool EchangeEnCours() const { return m_echangeEnCours; }
    // Octets reçus et gardés par la ligne (tampon de l'objet et tampon du port) : borné
    // par TamponPortMax + LongueurMaxReponse + 1, même sous une inondation.
    qint64 OctetsRetenus() const;

    // Ce que le port garde entre deux échanges ; au-delà, il cesse de lire et le
    // pilote retient ou perd le reste.
    static constexpr qint64 TamponPortMax = 4096;
    // Après un délai dépassé, la trame suivante attend ce temps (en lisant et jetant ce
    // qui arrive) : la réponse en retard ne peut pas répondre à la trame d'une autre carte.
    static constexpr int GardeApresTimeOutMs = 250;

private:
    QString CheminPeripherique() const;
    void AppliqueReglage(const ReglageLigne& reglage);
    QString MessageEchecOuverture() const;

    // Faux quand rien n'est parti ; *panne signale une erreur du port.
    bool EnvoiCdeGrindel2(const QByteArray& ligneCde, bool* panne);
    // Vide le port avant une trame, après la garde qui suit un délai dépassé ; une
    // ligne au journal quand quelque chose a été jeté.
    void JetteRecuAvantTrame(const QByteArray& ligneCde);
    // Compte les lectures "G" parmi des octets jetés : des réponses en route arrivées.
    void CompteLecturesJetees(const QByteArray& jetes);
    // *tropLongue : plus de LongueurMaxReponse octets sans CR.
    QByteArray lectReponseComm(int tempsTimeOut, bool* panne, bool* tropLongue);
    QByteArray LectRepGrindel2(int tempsTimeOut, bool* panne);

    void SurErreurPort(QSerialPort::SerialPortError erreur);
    void TraitePertePort();
    void EssaieReouverture();

    JournalStatut& m_journal;
    Horloge& m_horloge;
    Dialogues& m_dialogues;
    const Configuration& m_configuration;

    QSerialPort m_port;
    ReglageLigne m_reglage;
    // Caractères reçus pendant la lecture d'une réponse ; ce qui suit le CR est jeté
    // avant la trame suivante.
    QByteArray m_recuEnAttente;
    // Démarré au dernier délai dépassé, invalide sinon.
    QElapsedTimer m_depuisTimeOut;
    bool m_echangeEnCours = false;
    bool m_perteSignalee = false;
    QString m_textePerte;
    QTimer m_minuterieReouverture;
    SuiviCartes m_suivi;
};
