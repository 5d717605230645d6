#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Règles pures des fichiers de commande (CD*.txt) et de retour (RT*.txt).
// Les fichiers restent des octets : on classe et on recopie des octets, et l'on
// ne décode (Windows-1252) que le texte destiné à l'écran.
class FichierCommande
{
public:
    // Au-delà, l'écran ne montre que le début du fichier, suivi de LigneCoupure.
    static constexpr qsizetype TailleMaxAffichage = 64 * 1024;
    // "------ affichage coupé : seuls les 65536 premiers octets sont montrés ------"
    static QString LigneCoupure();

    enum class MotCle {
        Aucun,
        Protocol, // "protocol"
        Transpor, // "transpor"
        Vendeur,  // "vendeur"
        Poste,    // "poste"
        Status,   // "status"
        Priorite, // "priorite"
        Ordre,    // "ordre"
        CRendu,   // "C.rendu"
        PRecept,  // "P.Recept"
        Date,     // "date"
        CipQt,    // "cip Qt"
    };

    // Découpe en lignes : une ligne finit par CR LF, par un CR seul ou par un LF
    // seul (fichiers écrits sous Linux). La fin de ligne ne fait pas partie de la
    // ligne ; une dernière ligne sans fin est gardée, aucune ligne vide n'est
    // inventée après la dernière fin.
    static QList<QByteArray> DecoupeLignes(const QByteArray& contenu);

    // Mot-clé d'une ligne : ses premiers octets comparés exactement (casse
    // comprise, sans rognage) ; une ligne plus courte que le mot ne le porte pas.
    static MotCle ClasseLigne(const QByteArray& ligne);

    // Lignes que l'affichage brut tait : protocol, transpor, vendeur, poste,
    // status, priorite.
    static bool EstMasqueeALAffichage(MotCle motCle);

    // Texte de Txt_DerniereCde pour une commande : le chemin et CR LF, puis
    // chaque ligne non masquée suivie de CR LF ; au-delà de TailleMaxAffichage
    // octets, la ligne de coupure et CR LF.
    static QString TexteAffichageBrut(const QString& chemin, const QByteArray& contenu);

    // Copie remise dans le fichier de passation : chaque ligne "P.Recept"
    // devient "P.Recept: " et la gare, chaque ligne "protocol" devient
    // "protocol: Fich-Pelorane", les autres lignes sont recopiées octet pour
    // octet ; CR LF après chaque ligne.
    static QByteArray CopiePassation(const QByteArray& contenu, const QString& gare);

    // Valeur du mot-clé "ordre" (colonnes 11 à 20, espaces retirés), "" sans ligne "ordre".
    static QString OrdreDe(const QByteArray& contenu);

    // Texte de la fenêtre Liste : "------ fichier : " chemin " ------" CR LF,
    // puis chaque ligne du fichier suivie de CR LF ; coupé comme l'affichage brut.
    static QString TexteVueFichier(const QString& chemin, const QByteArray& contenu);
};
