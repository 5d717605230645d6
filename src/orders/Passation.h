#pragma once

#include <QString>
#include <functional>

class JournalStatut;
struct Configuration;

// Remise d'une commande à l'automate par le fichier de passation unique.
// Le fichier est libre à 0 ou 1 octet (ou absent : l'écriture le crée),
// occupé à partir de 2 octets ; le frontal le vide quand il a pris la commande.
class Passation
{
public:
    Passation(JournalStatut& journal, const Configuration& configuration);

    // Vrai quand la commande a été remise ; faux quand le fichier de passation
    // est occupé, quand la commande ne se lit pas ou quand l'écriture échoue
    // (le fichier de passation est alors revidé). Une ligne de journal par appel.
    // avantEcriture est appelé juste avant d'écrire le fichier de passation,
    // une fois qu'il est su libre et la commande lue (le registre y note la remise).
    bool LanceFichierCde(const QString& fichier, const QString& gare,
                         const std::function<void(const QByteArray& contenu)>& avantEcriture = {});

    // Pourquoi le dernier appel a rendu faux.
    enum class Refus { Aucun, Occupe, CommandeIllisible, EcritureImpossible };
    Refus DernierRefus() const { return m_dernierRefus; }

private:
    // Les erreurs de lecture et d'écriture ne sont écrites qu'une fois tant
    // qu'elles se répètent sur le même fichier (une passe toutes les 300 ms).
    void SignaleEchec(Refus refus, const QString& fichier, const QString& texte);

    Refus m_dernierRefus = Refus::Aucun;
    QString m_dernierEchecSignale;
    JournalStatut& m_journal;
    const Configuration& m_configuration;
};
