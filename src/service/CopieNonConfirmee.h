#pragma once

#include <QByteArray>
#include <QString>

class JournalStatut;
class ListesEchange;
class RegistreRemises;
class TableauTiroirs;

// Une copie écrite entière dans le fichier de passation dont le disque n'a pas
// confirmé l'écriture (fsync en échec, parfois après plusieurs secondes) : l'hôte
// a pu la lire entre-temps. Comme une remise qu'un arrêt a laissée inachevée, la
// commande est mise de côté (jamais relancée automatiquement, l'opérateur
// vérifie au robot) et son tiroir reste en cours : ses boîtes arrivent peut-être.
namespace CopieNonConfirmee {

struct Remise
{
    QString fichier;      // chemin complet de la commande
    QString gare;         // "001" à "008"
    QByteArray contenu;   // octets remis (pour le numéro "ordre")
    QString passation;    // chemin du fichier de passation
    QString raison;       // ce que le système a dit
    qint64 ligne = 0;     // ligne du registre (0 : registre indisponible)
    qint64 maintenantMs = 0; // horloge monotone du service
};

// Met la commande de côté (liste, registre, tiroir) et écrit la ligne du journal ;
// rend le texte pour Txt_DerniereCde.
QString MetDeCote(const Remise& r, JournalStatut& journal, RegistreRemises* registre, ListesEchange& listes,
                  TableauTiroirs& tiroirs);

} // namespace CopieNonConfirmee
