#pragma once

#include <QByteArray>
#include <QString>

// Vocabulaire des messages CDAPI échangés avec VBtrevix : les types, la place
// de chaque champ dans les deux variantes, les codes et leurs textes, la lecture
// des champs et la construction des messages que le service émet.
// Un message est une suite d'octets (page de code à un octet) : une position est
// une position d'octet, comptée à partir de 1 comme dans les dispositions.

// Seul caractère de commande de la liaison : l'acquittement.
constexpr char AckCdapi = 6;

// Variante de la norme parlée par VBtrevix. Toute autre valeur de NormeCDAPI
// donne Autre : on ne lit alors aucune partie qui dépend de la variante.
enum class VarianteCdapi { A, B, Autre };
VarianteCdapi VarianteDeNorme(const QString& NormeCDAPI);

// Un champ : position (à partir de 1) et largeur. {0, 0} est le champ absent,
// qui se lit vide (partie d'une disposition qui n'existe pas dans la variante).
struct Champ
{
    int position = 0;
    int largeur = 0;
};

// ---- Types connus ---------------------------------------------------------

struct TypeCdapi
{
    char lettre;
    const char* titre; // titre de la trace, après "- " et la lettre
};

// Les dix-huit lettres, dans l'ordre que la réception contrôle (la casse compte).
QByteArray ListeTypesCdapi();
// nullptr pour une lettre inconnue.
const TypeCdapi* ChercheTypeCdapi(char lettre);
bool EstTypeCdapiConnu(char lettre);

// ---- Lecture --------------------------------------------------------------

// Les octets à la position donnée (à partir de 1) sur la largeur donnée ; ce qui
// dépasse la fin du message manque simplement. Ne lit jamais hors du message.
QByteArray LitChamp(const QByteArray& message, qint64 position, qint64 largeur);
QByteArray LitChamp(const QByteArray& message, Champ champ);
// Lecture numérique indulgente d'un compte ou d'une longueur (LitNombre).
int LitNombreChamp(const QByteArray& message, Champ champ);
// Champ d'une ligne de liste : la ligne i (à partir de 1) commence à
// premiere + (i - 1) × largeurLigne ; dansLigne est la place dans la ligne.
QByteArray LitChampDeLigne(const QByteArray& message, int premiere, int largeurLigne, int i,
                           Champ dansLigne);
// Texte libre : la longueur sur le champ longueur, le texte juste derrière ;
// une longueur de 0 ou moins donne un texte vide.
QByteArray LitTexteLibre(const QByteArray& message, Champ longueur);

// Mise en forme des champs : numérique cadré à droite complété de "0" (les chiffres
// en trop à gauche sont perdus), code cadré à gauche complété de blancs.
QByteArray CadreNumerique(const QByteArray& valeur, int largeur);
QByteArray CadreCode(const QByteArray& valeur, int largeur);

// ---- Textes des codes -----------------------------------------------------
// Chaque texte commence par " - " ; un code inconnu donne le texte « autre code ».

QString TextePriorite(const QByteArray& code);            // A
QString TexteStatutEjection(const QByteArray& code);      // a
QString TexteStatutRemplissage(const QByteArray& code);   // e
QString TexteStatutRangement(const QByteArray& code);     // I
QString TexteStatutReception(const QByteArray& code);     // i
QString TexteStatutCommande(const QByteArray& code);      // o
QString TexteStatutInstallation(const QByteArray& code);  // s

// ---- Construction ---------------------------------------------------------

// Identification R ou r : poste (3 chiffres), version "0112", liste "002" "AR", NUL.
QByteArray ConstruitIdentification(char lettre, const QByteArray& poste);
// L'identification que le service envoie pour tester la liaison (poste 901).
QByteArray ConstruitIdentificationService();
// Réponse r à une identification R reçue : même poste.
QByteArray ConstruitReponseIdentification(const QByteArray& demande);
// Réponse a à une demande d'éjection A : en-tête repris, statut "01", et les
// lignes de la demande dans la disposition des lignes de a de la variante.
QByteArray ConstruitReponseEjection(const QByteArray& demande, VarianteCdapi variante);
// Réponse a « vide » qui suit toujours la réponse à une demande d'éjection.
QByteArray ReponseEjectionNulle();

// ---- Dispositions ---------------------------------------------------------
// Pour les types qui dépendent de la variante : une disposition A, une B et une
// Autre où seuls les champs communs existent.

namespace MsgDemandeEjection { // A
constexpr Champ Cde{ 2, 8 }, Poste{ 10, 3 }, Sortie{ 13, 3 }, Priorite{ 16, 1 }, NbLignes{ 17, 2 };
constexpr int PremiereLigne = 19;
struct Ligne
{
    int largeur;
    Champ code, quantite, flag, bourrage;
};
inline constexpr Ligne LigneA{ 13, { 1, 7 }, { 8, 5 }, { 13, 1 }, {} };
inline constexpr Ligne LigneB{ 36, { 1, 20 }, { 21, 5 }, { 26, 1 }, { 27, 10 } };
} // namespace MsgDemandeEjection

namespace MsgReponseEjection { // a
constexpr Champ Cde{ 2, 8 }, Poste{ 10, 3 }, Sortie{ 13, 3 }, Statut{ 16, 2 }, NbLignes{ 18, 2 };
constexpr int PremiereLigne = 20;
struct Ligne
{
    int largeur;
    Champ code, quantite, bourrage;
};
inline constexpr Ligne LigneA{ 12, { 1, 7 }, { 8, 5 }, {} };
inline constexpr Ligne LigneB{ 35, { 1, 20 }, { 21, 5 }, { 26, 10 } };
} // namespace MsgReponseEjection

namespace MsgDemandeArticle { // B
struct Disposition
{
    Champ poste, code;
};
inline constexpr Disposition A{ { 2, 3 }, { 5, 7 } };
inline constexpr Disposition B{ { 2, 3 }, { 5, 20 } };
inline constexpr Disposition Autre{ { 2, 3 }, {} };
} // namespace MsgDemandeArticle

namespace MsgReponseArticle { // b
struct Disposition
{
    Champ poste, code, qtot, nbLignes;
    int premiereLigne, largeurLigne;
    Champ canal, capacite, quantite; // dans la ligne de position
};
inline constexpr Disposition A{ { 2, 3 }, { 5, 7 }, { 12, 5 }, { 17, 2 }, 19, 26, { 1, 10 }, { 11, 5 }, { 16, 5 } };
inline constexpr Disposition B{ { 2, 3 }, { 5, 20 }, { 25, 5 }, { 30, 2 }, 32, 80, { 1, 16 }, { 17, 5 }, { 22, 5 } };
inline constexpr Disposition Autre{ { 2, 3 }, {}, {}, {}, 0, 0, {}, {}, {} };
} // namespace MsgReponseArticle

namespace MsgRemplissage { // E
struct Disposition
{
    Champ cde, poste, code, quantite, ean, date;
};
inline constexpr Disposition A{ { 2, 8 }, { 10, 3 }, { 13, 7 }, { 20, 5 }, { 25, 13 }, { 38, 6 } };
inline constexpr Disposition B{ { 2, 8 }, { 10, 3 }, { 13, 20 }, { 33, 5 }, { 38, 20 }, { 58, 8 } };
inline constexpr Disposition Autre{ { 2, 8 }, { 10, 3 }, {}, {}, {}, {} };
} // namespace MsgRemplissage

namespace MsgReponseRemplissage { // e
struct Disposition
{
    Champ cde, poste, code, capacite, canal, statut;
};
inline constexpr Disposition A{ { 2, 8 }, { 10, 3 }, { 13, 7 }, { 20, 5 }, { 25, 10 }, { 35, 2 } };
inline constexpr Disposition B{ { 2, 8 }, { 10, 3 }, { 13, 20 }, { 33, 5 }, { 38, 16 }, { 54, 2 } };
inline constexpr Disposition Autre{ { 2, 8 }, { 10, 3 }, {}, {}, {}, {} };
} // namespace MsgReponseRemplissage

namespace MsgReponseRangement { // I
struct Disposition
{
    Champ nTrans, code, quantite, date, statut;
};
inline constexpr Disposition A{ { 2, 8 }, { 13, 7 }, { 20, 5 }, { 25, 6 }, { 31, 2 } };
inline constexpr Disposition B{ { 2, 8 }, { 13, 20 }, { 33, 5 }, { 38, 8 }, { 46, 2 } };
inline constexpr Disposition Autre{ { 2, 8 }, {}, {}, {}, {} };
} // namespace MsgReponseRangement

namespace MsgDemandeRangement { // i
struct Disposition
{
    Champ nTrans, nBL, code, ean, quantite, date, statut, vig;
};
inline constexpr Disposition A{ { 2, 8 }, { 13, 12 }, { 25, 7 }, { 32, 13 }, { 45, 5 }, { 50, 6 }, { 56, 2 }, { 58, 30 } };
inline constexpr Disposition B{ { 2, 8 }, { 13, 20 }, { 33, 20 }, { 53, 20 }, { 93, 5 }, { 106, 8 }, { 114, 2 }, {} };
inline constexpr Disposition Autre{ { 2, 8 }, {}, {}, {}, {}, {}, {}, {} };
} // namespace MsgDemandeRangement

namespace MsgDemandeControle { // K
struct Disposition
{
    Champ poste, codeDebut, nbLignes;
};
inline constexpr Disposition A{ { 2, 3 }, { 5, 7 }, { 12, 2 } };
inline constexpr Disposition B{ { 2, 3 }, { 5, 20 }, { 25, 2 } };
inline constexpr Disposition Autre{ { 2, 3 }, {}, {} };
} // namespace MsgDemandeControle

namespace MsgReponseControle { // k
struct Disposition
{
    Champ poste, codeDebut, nbLignes;
    int premiereLigne, largeurLigne;
    Champ code, quantite; // dans la ligne de stock
};
inline constexpr Disposition A{ { 2, 3 }, { 5, 7 }, { 12, 2 }, 14, 12, { 1, 7 }, { 8, 5 } };
inline constexpr Disposition B{ { 2, 3 }, { 5, 20 }, { 25, 2 }, 27, 25, { 1, 20 }, { 21, 5 } };
inline constexpr Disposition Autre{ { 2, 3 }, {}, {}, 0, 0, {}, {} };
} // namespace MsgReponseControle

// Types à disposition unique.
namespace MsgDemandeStatutCommande { // O
constexpr Champ Poste{ 2, 3 }, Cde{ 5, 8 };
}
namespace MsgReponseStatutCommande { // o
constexpr Champ Poste{ 2, 3 }, Cde{ 5, 8 }, Statut{ 13, 2 }, Longueur{ 15, 3 };
}
namespace MsgDemandeProduit { // p
constexpr Champ Poste{ 2, 3 }, Cip{ 5, 7 }, Ean{ 12, 13 };
}
namespace MsgReponseProduit { // P
constexpr Champ Poste{ 2, 3 }, Cip{ 5, 7 }, Libelle{ 12, 40 }, Forme{ 52, 3 }, QParBoite{ 55, 10 },
    Ean{ 65, 13 }, DatePeremption{ 78, 6 };
}
namespace MsgIdentification { // R et r
constexpr Champ Poste{ 2, 3 }, Version{ 5, 4 }, Longueur{ 9, 3 };
}
namespace MsgDemandeStatutInstallation { // S
constexpr Champ Poste{ 2, 3 };
}
namespace MsgReponseStatutInstallation { // s
constexpr Champ Poste{ 2, 3 }, Statut{ 5, 2 }, Longueur{ 7, 3 };
}

// La disposition de la variante en force.
template <typename D>
const D& DispositionSelon(VarianteCdapi variante, const D& a, const D& b, const D& autre)
{
    return variante == VarianteCdapi::A ? a : variante == VarianteCdapi::B ? b : autre;
}
