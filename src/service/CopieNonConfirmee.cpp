#include "CopieNonConfirmee.h"

#include "base/CheminAffiche.h"
#include "base/JournalStatut.h"
#include "config/LectureNombre.h"
#include "drawers/TableauTiroirs.h"
#include "orders/FichierCommande.h"
#include "orders/ListesEchange.h"
#include "orders/RegistreRemises.h"

#include <QFileInfo>

namespace CopieNonConfirmee {

QString MetDeCote(const Remise& r, JournalStatut& journal, RegistreRemises* registre, ListesEchange& listes,
                  TableauTiroirs& tiroirs)
{
    // Plus jamais lancée tant qu'elle reste dans le dossier (ni à cette marche, ni
    // au démarrage suivant, qui trouve la ligne mise de côté).
    listes.EcarteFichierCde(r.fichier);
    if (registre)
        registre->MiseDeCoteEnMarche(r.ligne);
    // Le tiroir attend ses boîtes comme après une remise : la commande suivante
    // n'y part pas avant le datagramme, le temps ou un clic.
    const int n = LitNombre(r.gare);
    tiroirs.MetCouleur(n, TableauTiroirs::CdeEnCours);
    tiroirs.MetHeureTiroirLibre(n, qMax<qint64>(1, r.maintenantMs));

    const QString ordre = FichierCommande::OrdreDe(r.contenu);
    const QString nom = QFileInfo(r.fichier).fileName()
        + (ordre.isEmpty() ? QString() : QStringLiteral(" (ordre ") + ordre + QStringLiteral(")"));
    const QString texte = QStringLiteral("commande ") + nom + QStringLiteral(" mise de cote : sa copie a ete ecrite "
                                                                              "entiere dans ")
        + CheminAffiche(r.passation) + QStringLiteral(" pour le tiroir ") + r.gare
        + QStringLiteral(" mais le disque n'a pas confirme l'ecriture (") + r.raison
        + QStringLiteral("), le robot l'a peut-etre prise. Elle n'est pas relancee : verifiez au robot, puis effacez ")
        + CheminAffiche(r.fichier) + QStringLiteral(" ou deposez-la de nouveau sous un autre nom pour la relancer");
    journal.MessageStatus(texte);
    return texte + QStringLiteral("\r\n");
}

} // namespace CopieNonConfirmee
