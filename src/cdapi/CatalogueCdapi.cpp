#include "cdapi/CatalogueCdapi.h"

#include "config/LectureNombre.h"

#include <initializer_list>

namespace {

const TypeCdapi TypesCdapi[] = {
    { 'A', " - demande d'ejection -----------------" },
    { 'a', " - reponse a la demande d'ejection ----" },
    { 'B', " - demande information article --------" },
    { 'b', " - reponse information article --------" },
    { 'E', " - information de remplissage ---------" },
    { 'e', " - reponse demande de remplissage -----" },
    { 'I', " - reponse info de rangement ----------" },
    { 'i', " - demande de l'autom. info rangement -" },
    { 'K', " - demande controle de quantites ------" },
    { 'k', " - reponse controle de quantites ------" },
    { 'O', " - demande status d'une commande ------" },
    { 'o', " - reponse status d'une commande ------" },
    { 'P', " - reponse info produit ---------------" },
    { 'p', " - demande de l'automate info produit -" },
    { 'R', " - Identification ---------------------" },
    { 'r', " - Identification ---------------------" },
    { 'S', " - demande du status d'installation ---" },
    { 's', " - reponse du status d'installation ---" },
};

struct TexteDeCode
{
    const char* code;
    const char* texte; // UTF-8
};

QString ChercheTexte(const QByteArray& code, std::initializer_list<TexteDeCode> table,
                     const char* autre)
{
    for (const TexteDeCode& t : table)
        if (code == t.code)
            return QString::fromUtf8(t.texte);
    return QString::fromUtf8(autre);
}

// Texte commun aux codes inconnus de e, I et i.
const char* const RemplissageInconnu = " - Status de remplissage inconnue";
const char* const CommandeInconnue = " - Status de commande inconnue";

} // namespace

VarianteCdapi VarianteDeNorme(const QString& NormeCDAPI)
{
    if (NormeCDAPI == QLatin1String("CDAPI-A"))
        return VarianteCdapi::A;
    if (NormeCDAPI == QLatin1String("CDAPI-B"))
        return VarianteCdapi::B;
    return VarianteCdapi::Autre;
}

QByteArray ListeTypesCdapi()
{
    return QByteArrayLiteral("AaBbEeIiKkOoPpRrSs");
}

const TypeCdapi* ChercheTypeCdapi(char lettre)
{
    for (const TypeCdapi& t : TypesCdapi)
        if (t.lettre == lettre)
            return &t;
    return nullptr;
}

bool EstTypeCdapiConnu(char lettre)
{
    return ChercheTypeCdapi(lettre) != nullptr;
}

QByteArray LitChamp(const QByteArray& message, qint64 position, qint64 largeur)
{
    if (position < 1 || largeur <= 0)
        return QByteArray();
    const qint64 debut = position - 1;
    if (debut >= message.size())
        return QByteArray();
    const qint64 longueur = qMin<qint64>(largeur, message.size() - debut);
    return message.mid(debut, longueur);
}

QByteArray LitChamp(const QByteArray& message, Champ champ)
{
    return LitChamp(message, champ.position, champ.largeur);
}

int LitNombreChamp(const QByteArray& message, Champ champ)
{
    return LitNombre(LitChamp(message, champ));
}

QByteArray LitChampDeLigne(const QByteArray& message, int premiere, int largeurLigne, int i,
                           Champ dansLigne)
{
    // Un champ absent de la disposition reste absent dans chaque ligne.
    if (dansLigne.position < 1 || premiere < 1)
        return QByteArray();
    const qint64 debutLigne = qint64(premiere) + qint64(i - 1) * qint64(largeurLigne);
    return LitChamp(message, debutLigne + dansLigne.position - 1, dansLigne.largeur);
}

QByteArray LitTexteLibre(const QByteArray& message, Champ longueur)
{
    if (longueur.position < 1)
        return QByteArray();
    const int l = LitNombreChamp(message, longueur);
    if (l <= 0)
        return QByteArray();
    return LitChamp(message, qint64(longueur.position) + longueur.largeur, l);
}

QByteArray CadreNumerique(const QByteArray& valeur, int largeur)
{
    return (QByteArray(largeur, '0') + valeur).right(largeur);
}

QByteArray CadreCode(const QByteArray& valeur, int largeur)
{
    QByteArray code = valeur.left(largeur);
    code.append(QByteArray(largeur - code.size(), ' '));
    return code;
}

QString TextePriorite(const QByteArray& code)
{
    return ChercheTexte(code,
                        { { "1", " - priorite tres haute" },
                          { "2", " - priorite haute" },
                          { "3", " - priorite normale" },
                          { "4", " - priorite basse" },
                          { "5", " - priorite tres basse" } },
                        " - niveau de priorite inconnu");
}

QString TexteStatutEjection(const QByteArray& code)
{
    return ChercheTexte(code,
                        { { "00", " - commande en cours" },
                          { "01", " - commande en attente" },
                          { "02", " - file d'attente pleine" },
                          { "03", " - commande interrompue" },
                          { "04", " - message de fin de commande" },
                          { "05", " - modif Qt delivre par l'automate" } },
                        CommandeInconnue);
}

QString TexteStatutRemplissage(const QByteArray& code)
{
    return ChercheTexte(code,
                        { { "00", " - remplissage en cours" },
                          { "03", " - remplissage interompu" },
                          { "04", " - fin de remplissage" } },
                        RemplissageInconnu);
}

QString TexteStatutRangement(const QByteArray& code)
{
    return ChercheTexte(code,
                        { { "00", " - article doit etre stocké" },
                          { "01", " - article ne doit pas etre stocké" },
                          { "02", " - article doit etre stocké avec date peremption" },
                          { "04", " - boite non affecté à l'automate" },
                          { "05", " - produit autorisé à entrer dans l'automate mais parti frigo" } },
                        RemplissageInconnu);
}

QString TexteStatutReception(const QByteArray& code)
{
    return ChercheTexte(code,
                        { { "00", " - reception de commande" },
                          { "01", " - retour article non vendu" },
                          { "02", " - info debut reception cde" },
                          { "03", " - info fin de reception cde" },
                          { "04", " - nouvel article SPO mais connu SGSO" },
                          { "05", " - nouvel article inconnu SPO et SGSO" },
                          { "06", " - message de fin" },
                          { "07", " - interruption" } },
                        RemplissageInconnu);
}

QString TexteStatutCommande(const QByteArray& code)
{
    return ChercheTexte(code,
                        { { "00", " - commande en cours" },
                          { "01", " - commande en attente" },
                          { "03", " - commande annulee" },
                          { "04", " - commande terminee" },
                          { "08", " - commande non disponible" } },
                        CommandeInconnue);
}

QString TexteStatutInstallation(const QByteArray& code)
{
    return ChercheTexte(code,
                        { { "00", " - installation prete" },
                          { "01", " - installation non disponible" },
                          { "02", " - installation en defaillance partielle" },
                          { "06", " - file d'attente pleine" } },
                        " - Status de l'installation inconnue");
}

QByteArray ConstruitIdentification(char lettre, const QByteArray& poste)
{
    QByteArray m(1, lettre);
    m += CadreNumerique(poste, MsgIdentification::Poste.largeur);
    m += "0112";
    m += "002";
    m += "AR";
    m += '\0';
    return m;
}

QByteArray ConstruitIdentificationService()
{
    return ConstruitIdentification('R', QByteArrayLiteral("901"));
}

QByteArray ConstruitReponseIdentification(const QByteArray& demande)
{
    return ConstruitIdentification('r', LitChamp(demande, MsgIdentification::Poste));
}

QByteArray ConstruitReponseEjection(const QByteArray& demande, VarianteCdapi variante)
{
    namespace Dem = MsgDemandeEjection;
    namespace Rep = MsgReponseEjection;
    QByteArray r("a");
    r += CadreNumerique(LitChamp(demande, Dem::Cde), Rep::Cde.largeur);
    r += CadreNumerique(LitChamp(demande, Dem::Poste), Rep::Poste.largeur);
    r += CadreNumerique(LitChamp(demande, Dem::Sortie), Rep::Sortie.largeur);
    r += "01";
    const QByteArray nombre = LitChamp(demande, Dem::NbLignes);
    r += CadreNumerique(nombre, Rep::NbLignes.largeur);

    // En CDAPI-B, la ligne de 36 caractères de la demande donne la ligne de 35
    // de la réponse : code et quantité, puis les 10 caractères de bourrage (le
    // drapeau saute). Toute autre variante garde les lignes de 13 caractères.
    const bool enB = variante == VarianteCdapi::B;
    const Dem::Ligne& lu = enB ? Dem::LigneB : Dem::LigneA;
    const Rep::Ligne& ecrit = enB ? Rep::LigneB : Rep::LigneA;
    const int n = LitNombre(nombre);
    for (int i = 1; i <= n; ++i) {
        r += CadreCode(LitChampDeLigne(demande, Dem::PremiereLigne, lu.largeur, i, lu.code),
                       ecrit.code.largeur);
        r += CadreNumerique(LitChampDeLigne(demande, Dem::PremiereLigne, lu.largeur, i, lu.quantite),
                            ecrit.quantite.largeur);
        if (enB)
            r += CadreCode(LitChampDeLigne(demande, Dem::PremiereLigne, lu.largeur, i, lu.bourrage),
                           ecrit.bourrage.largeur);
    }
    return r;
}

QByteArray ReponseEjectionNulle()
{
    return QByteArrayLiteral("a0000000000000000000");
}
