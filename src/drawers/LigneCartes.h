#pragma once

#include "drawers/ReglageLigne.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

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
    // Sortie auxiliaire de la carte "Z45" ; "" quand rien n'a été envoyé.
    QByteArray AuxGri2(const QString& numAux, const QString& etatAux);

    // Intervalle des essais de réouverture après la perte du périphérique (3 s par défaut).
    void MetIntervalleReouverture(int millisecondes);
    // Vrai pendant un échange, pauses entre les deux essais comprises.
    bool EchangeEnCours() const { return m_echangeEnCours; }

private:
    QString CheminPeripherique() const;
    void AppliqueReglage(const ReglageLigne& reglage);
    QString MessageEchecOuverture() const;

    // Faux quand rien n'est parti ; *panne signale une erreur du port.
    bool EnvoiCdeGrindel2(const QByteArray& ligneCde, bool* panne);
    QByteArray lectReponseComm(int tempsTimeOut, bool* panne);
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
    // Caractères reçus après le CR d'une réponse : ils restent « dans le port »
    // pour l'échange suivant.
    QByteArray m_recuEnAttente;
    bool m_echangeEnCours = false;
    bool m_perteSignalee = false;
    QString m_textePerte;
    QTimer m_minuterieReouverture;
};
