#pragma once

#include <QString>

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
    bool LanceFichierCde(const QString& fichier, const QString& gare);

private:
    JournalStatut& m_journal;
    const Configuration& m_configuration;
};
