#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class JournalStatut;
class QFile;
struct Configuration;

// Remise d'une commande à l'automate par le fichier de passation unique.
// Le fichier est libre à 0 ou 1 octet (ou absent : l'écriture le crée),
// occupé à partir de 2 octets ; le frontal le vide quand il a pris la commande.
// Ce doit être un fichier ordinaire (un lien vers un fichier ordinaire aussi) :
// un dossier, un tube, /dev/null, un lien sans cible… ne reçoivent rien.
class Passation
{
public:
    Passation(JournalStatut& journal, const Configuration& configuration);

    // Remet `contenu`, les octets de la commande `fichier` lus par le cycle
    // (ceux qu'il a montrés) : le fichier n'est pas relu ici. Vrai quand la
    // commande a été remise ; faux quand le fichier de passation est occupé,
    // n'est pas un fichier ordinaire ou quand l'écriture échoue (le fichier de
    // passation est alors revidé).
    // avantEcriture est appelé juste avant d'écrire le fichier de passation, une
    // fois qu'il est su libre et ordinaire (le registre des remises y note la remise).
    bool LanceFichierCde(const QString& fichier, const QString& gare, const QByteArray& contenu,
                         const std::function<void()>& avantEcriture = {});

    // Pourquoi le dernier appel a rendu faux. CopieNonConfirmee : la copie a été
    // écrite entière mais le disque n'a pas confirmé l'écriture (fsync en échec) ;
    // l'hôte a pu la lire entre-temps : elle est laissée telle quelle dans le
    // fichier de passation et la commande ne doit jamais être relancée.
    enum class Refus { Aucun, Occupe, PassationInvalide, EcritureImpossible, CopieNonConfirmee };
    Refus DernierRefus() const { return m_dernierRefus; }
    // Après un refus : rien de cette copie ne peut revenir dans le fichier de
    // passation après une coupure (rien n'y a été écrit, ou il a été revidé et le
    // disque l'a confirmé). Faux : le registre garde la remise ouverte.
    bool VideSurDisque() const { return m_videSurDisque; }
    QString CheminPassation() const;
    // Raison donnée par le système au dernier échec de poussée sur le disque.
    QString RaisonDisque() const { return m_raisonDisque; }

private:
    // Les erreurs d'écriture ne sont écrites qu'une fois tant qu'elles se
    // répètent sur le même fichier (une passe toutes les 300 ms).
    void SignaleEchec(Refus refus, const QString& fichier, const QString& texte);
    // Une ligne quand le défaut du chemin de passation change (genre "" : bon).
    void SignaleDefautPassation(const QString& genre);
    // Écrit la copie et la pousse sur le disque.
    enum class Ecriture { Faite, Invalide, Impossible, NonConfirmee };
    Ecriture Ecrit(const QByteArray& copie);
    // Remet le fichier ouvert à 0 octet et le pousse sur le disque (m_videSurDisque).
    void Revide(QFile& passation);
    void NoteRaisonDisque();

    Refus m_dernierRefus = Refus::Aucun;
    bool m_videSurDisque = true;
    QString m_raisonDisque;
    QString m_dernierEchecSignale;
    QString m_defautSignale; // genre du chemin de passation déjà signalé
    JournalStatut& m_journal;
    const Configuration& m_configuration;
};
