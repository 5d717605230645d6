#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class JournalStatut;
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

    // Pourquoi le dernier appel a rendu faux.
    enum class Refus { Aucun, Occupe, PassationInvalide, EcritureImpossible };
    Refus DernierRefus() const { return m_dernierRefus; }

private:
    // Les erreurs d'écriture ne sont écrites qu'une fois tant qu'elles se
    // répètent sur le même fichier (une passe toutes les 300 ms).
    void SignaleEchec(Refus refus, const QString& fichier, const QString& texte);
    // Une ligne quand le défaut du chemin de passation change (genre "" : bon).
    void SignaleDefautPassation(const QString& genre);
    // Écrit la copie ; faux si le chemin n'est plus un fichier ordinaire au
    // moment de l'ouvrir (*invalide) ou si l'écriture échoue.
    bool Ecrit(const QByteArray& copie, bool* invalide);

    Refus m_dernierRefus = Refus::Aucun;
    QString m_dernierEchecSignale;
    QString m_defautSignale; // genre du chemin de passation déjà signalé
    JournalStatut& m_journal;
    const Configuration& m_configuration;
};
