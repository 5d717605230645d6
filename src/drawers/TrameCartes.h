#pragma once

#include <QByteArray>
#include <QString>

// Règles pures de la ligne des cartes d'extension : trames, somme de contrôle,
// lecture d'une réponse, adresse d'une carte. Aucune entrée-sortie ici.

// Textes d'échec d'un échange : tout résultat qui commence par "Err:" est un échec.
namespace EchecCartes {
inline const QByteArray Vide = QByteArrayLiteral("Err:");
inline const QByteArray TimeOut = QByteArrayLiteral("Err: Time Out");
inline const QByteArray SommeIncorrecte = QByteArrayLiteral("Err: check sum incorrecte");
inline const QByteArray PasDeBarre = QByteArrayLiteral("Err: ne commence pas par '/'");
// Ligne "/" + un ou deux caractères : trop courte pour le caractère qui suit "/"
// et les deux caractères de la somme.
inline const QByteArray TropCourte = QByteArrayLiteral("Err: reponse trop courte");
// Ligne sans CR plus longue qu'aucune réponse de carte : du bruit sur la ligne.
inline const QByteArray TropLongue = QByteArrayLiteral("Err: reponse trop longue");
// Un échange est déjà en cours sur la ligne (appel venu d'une pause de celui-ci).
inline const QByteArray LigneOccupee = QByteArrayLiteral("Err: ligne occupee");
// Sortie auxiliaire d'une carte en retard : la trame n'est pas envoyée.
inline const QByteArray CarteEnRetard = QByteArrayLiteral("Err: carte en retard");
// Nom de carte dont on ne peut tirer une adresse d'un octet.
inline const QByteArray NomCarteIncorrect = QByteArrayLiteral("Err: nom de carte incorrect");
} // namespace EchecCartes

constexpr char CaractereEsc = 27;
constexpr char CaractereCr = 13;
// Une réponse de carte tient en quelques dizaines d'octets : une ligne plus longue,
// CR non compris, est refusée plutôt que gardée.
constexpr qsizetype LongueurMaxReponse = 256;

bool EstEchecCartes(const QByteArray& resultat);

// Complément à deux de la somme des octets modulo 256, en deux chiffres
// hexadécimaux majuscules ("abc" donne "DA", une somme multiple de 256 "00").
QByteArray CalculCSgrindel2(const QByteArray& ligneCde);

// Trame sur le fil : ESC, corps, somme du corps, CR.
QByteArray TrameCommande(const QByteArray& ligneCde);

// Réponse d'une carte telle qu'elle passe sur le fil : "/", le caractère qui
// suit, la charge utile, la somme de ces deux derniers, CR (sert aux pairs de test).
QByteArray TrameReponse(char apresBarre, const QByteArray& chargeUtile);

// Contrôle d'une ligne reçue, sans son CR : la charge utile ou un texte d'échec.
QByteArray AnalyseReponse(const QByteArray& ligne);

// Adresse de deux octets : la lettre du nom, puis le caractère de code
// numéro + 48 ("Z45" donne "Z]"). Vide quand le nom ne donne pas un octet.
QByteArray AdresseCarte(const QString& nomCarte);

// Octets montrés dans le journal : page de code Windows-1252, caractères de
// contrôle écrits <1B>, texte coupé au-delà de longueurMax caractères avec
// la mention du nombre d'octets reçus.
QString TexteAffichable(const QByteArray& octets, int longueurMax = 200);
