#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

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

    // (la réalisation ajoute ses membres privés ici)
};
