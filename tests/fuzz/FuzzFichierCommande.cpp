// Fuzzing (libFuzzer) de la lecture des fichiers de commande et de la copie de
// passation : n'importe quels octets, sans plantage ; la copie garde chaque ligne
// octet pour octet sauf les lignes "P.Recept" et "protocol", réécrites ; l'affichage
// brut montre le chemin puis exactement les lignes non masquées.
#include "Exige.h"

#include "base/PageDeCode.h"
#include "orders/FichierCommande.h"

#include <cstdint>

namespace {

const QByteArray FinDeLigne = QByteArrayLiteral("\r\n");

// Les entrées du fuzzing restent petites (-max_len) ; au-delà, l'affichage peut être
// coupé et n'est plus comparé ligne à ligne.
constexpr qsizetype TailleComparee = 16 * 1024;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille)
{
    const QByteArray contenu(reinterpret_cast<const char*>(donnees), qsizetype(taille));
    const QList<QByteArray> lignes = FichierCommande::DecoupeLignes(contenu);

    qsizetype octetsDesLignes = 0;
    for (const QByteArray& ligne : lignes) {
        Exige(!ligne.contains('\r') && !ligne.contains('\n'));
        octetsDesLignes += ligne.size();
    }
    const qsizetype fins = contenu.count('\r') + contenu.count('\n') - contenu.count("\r\n");
    Exige(octetsDesLignes + contenu.count('\r') + contenu.count('\n') == contenu.size());
    Exige(lignes.size() == fins + (contenu.isEmpty() || contenu.endsWith('\r') || contenu.endsWith('\n') ? 0 : 1));

    // La gare vient elle aussi de l'entrée : trois chiffres tirés du premier octet.
    const QString gare = QStringLiteral("%1").arg(taille == 0 ? 0 : donnees[0] % 9, 3, 10, QLatin1Char('0'));
    const QByteArray copie = FichierCommande::CopiePassation(contenu, gare);
    const QList<QByteArray> lignesCopie = FichierCommande::DecoupeLignes(copie);
    Exige(lignesCopie.size() == lignes.size());
    QByteArray attendue;
    for (qsizetype i = 0; i < lignes.size(); ++i) {
        switch (FichierCommande::ClasseLigne(lignes[i])) {
        case FichierCommande::MotCle::PRecept:
            Exige(lignesCopie[i] == "P.Recept: " + gare.toLatin1());
            break;
        case FichierCommande::MotCle::Protocol:
            Exige(lignesCopie[i] == "protocol: Fich-Pelorane");
            break;
        default:
            Exige(lignesCopie[i] == lignes[i]);
            break;
        }
        attendue += lignesCopie[i] + FinDeLigne;
    }
    Exige(copie == attendue);

    const QString chemin = QStringLiteral("/echanges/CD000001.txt");
    const QString affichage = FichierCommande::TexteAffichageBrut(chemin, contenu);
    Exige(affichage.startsWith(chemin + QStringLiteral("\r\n")));
    const QString vue = FichierCommande::TexteVueFichier(chemin, contenu);
    Exige(vue.startsWith(QStringLiteral("------ fichier : ") + chemin + QStringLiteral(" ------\r\n")));
    if (contenu.size() <= TailleComparee) {
        QByteArray montre;
        QByteArray tout;
        for (const QByteArray& ligne : lignes) {
            if (!FichierCommande::EstMasqueeALAffichage(FichierCommande::ClasseLigne(ligne)))
                montre += ligne + FinDeLigne;
            tout += ligne + FinDeLigne;
        }
        Exige(affichage == chemin + QStringLiteral("\r\n") + DecodeWindows1252(montre));
        Exige(vue.endsWith(DecodeWindows1252(tout)));
    }
    return 0;
}
