#include "ClesParametres.h"

#include "base/JournalStatut.h"
#include "config/LectureNombre.h"
#include "config/MagasinParametres.h"

#include <limits>

namespace {
const QString Categorie = QStringLiteral("VBpelorane");
constexpr qint64 TempsMaxParDefautMs = 30000; // "30" s, la valeur par défaut de la clé

// Retire les espaces de tête et de queue, et eux seuls (une tabulation reste).
QString Rogne(const QString& texte)
{
    int debut = 0;
    int fin = int(texte.size());
    while (debut < fin && texte.at(debut) == QLatin1Char(' '))
        ++debut;
    while (fin > debut && texte.at(fin - 1) == QLatin1Char(' '))
        --fin;
    return texte.mid(debut, fin - debut);
}

// Une clé numérique qui ne se lit pas comme un nombre, ou négative, garde la valeur
// calculée ; une ligne dit laquelle, sinon 0 tiroir ou un temps nul passent sans un mot.
void SignaleValeurDouteuse(JournalStatut& journal, const QString& cle, const QString& texte, qint64 valeur,
                           const QString& valeurUtilisee)
{
    QString motif;
    if (!EstUnNombre(texte))
        motif = QStringLiteral("ce n'est pas un nombre");
    else if (valeur < 0)
        motif = QStringLiteral("valeur negative");
    else
        return;
    journal.MessageStatus(QStringLiteral("%1 = \"%2\" : %3, valeur utilisee %4").arg(cle, texte, motif, valeurUtilisee));
}
void FixeNbTiroirs(JournalStatut& journal, const QString& texteNbTiroirs, Configuration& c)
{
    const qint32 nbTiroirs = LitNombre(texteNbTiroirs);
    // La fenêtre n'a que huit carrés de tiroir et les tableaux huit entrées.
    if (nbTiroirs > 8) {
        journal.MessageStatus(QStringLiteral("Nb_Tiroirs vaut %1 : ramene a 8 (8 tiroirs au plus)").arg(nbTiroirs));
        c.NbTiroirs = 8;
    } else {
        c.NbTiroirs = qMax(0, nbTiroirs);
        SignaleValeurDouteuse(journal, QStringLiteral("Nb_Tiroirs"), texteNbTiroirs, nbTiroirs,
                              QString::number(c.NbTiroirs));
    }
}

void FixeTempsMax(JournalStatut& journal, const QString& texteTempsMax, Configuration& c)
{
    const qint64 tempsMax = LitNombre(texteTempsMax);
    // Le produit par 1000 doit tenir sur 32 bits signés : au-delà il est borné.
    // Un temps qui n'est pas un nombre positif de secondes libérerait chaque tiroir
    // à chaque tic, boîtes encore en route : la valeur par défaut le remplace.
    const qint64 maxi = std::numeric_limits<qint32>::max();
    const qint64 produit = tempsMax * 1000;
    if (!EstUnNombre(texteTempsMax) || tempsMax <= 0) {
        c.TempsMaxAttenteMs = TempsMaxParDefautMs;
        const QString motif = !EstUnNombre(texteTempsMax) ? QStringLiteral("ce n'est pas un nombre")
            : tempsMax < 0                                 ? QStringLiteral("valeur negative")
                                                           : QStringLiteral("valeur nulle");
        journal.MessageStatus(QStringLiteral("TempsMaxAttenteProduit = \"%1\" : %2, valeur utilisee %3 ms")
                                  .arg(texteTempsMax, motif, QString::number(c.TempsMaxAttenteMs)));
    } else if (produit > maxi) {
        c.TempsMaxAttenteMs = maxi;
        journal.MessageStatus(QStringLiteral("TempsMaxAttenteProduit vaut \"%1\" s : ramene a %2 ms")
                                  .arg(texteTempsMax, QString::number(c.TempsMaxAttenteMs)));
    } else {
        c.TempsMaxAttenteMs = produit;
    }
}
} // namespace

void LitClesParametres(MagasinParametres& magasin, JournalStatut& journal, Configuration& c)
{
    const QString table = MagasinParametres::NomTable;
    auto lit = [&](const char* cle, const char* defaut, const QString& commentaire) {
        return magasin.LitParametre(table, QString::fromUtf8(cle), QString::fromUtf8(defaut), Categorie,
                                    commentaire);
    };

    const QString texteNbTiroirs = lit("Nb_Tiroirs", "4", QStringLiteral("Nombre de tiroirs Installés"));
    c.CdapiPortServeur = lit("CDAPI_Port_Serveur", "43323",
                             QStringLiteral("n° du port d'ecoute de VBtrevix pour le CDAPI en TCP/IP"));
    c.CdapiAdrServeur = Rogne(lit("CDAPI_Adr_Serveur", "127.0.0.1",
                            QStringLiteral("adresse TCP/IP de VBtrevix pour le CDAPI")));
    c.NormeCDAPI = Rogne(lit("CDAPI_Norme", "CDAPI-B", QStringLiteral("norme CDAPI utiliser par VBtrevix")));
    c.UdpPort = lit("UDP_Port", "43325",
                    QStringLiteral("n° du port d'ecoute pour ouverture tiroirs (fin convoyage)"));
    c.UdpAdr = Rogne(lit("UDP_Adr", "127.0.0.1",
                   QStringLiteral("Adresse locale d'ecoute pour ouverture tiroirs (fin convoyage)")));
    c.ParamComTiroirs = Rogne(lit("Param_Com_Tiroirs", "1:9600,n,8,1",
                            QStringLiteral("parametres du port COM des cartes d'extensions tiroirs")));
    c.NomCarteExt[1] = Rogne(lit("Nom_Carte_Ext_Tiroir1", "Z45",
                           QStringLiteral("nom de la carte d'extension utiliser pour ouvrir tiroirs + etat "
                                          "tiroirs 1 et 2")));
    c.NomCarteExt[2] = Rogne(lit("Nom_Carte_Ext_Tiroir2", "Z44",
                           QStringLiteral("nom de la carte d'extension utiliser pour etat tiroirs 3 et 4")));
    c.NomCarteExt[3] = Rogne(lit("Nom_Carte_Ext_Tiroir3", "Z43",
                           QStringLiteral("nom de la carte d'extension utiliser pour etat tiroirs 5 et 6")));
    c.NomCarteExt[4] = Rogne(lit("Nom_Carte_Ext_Tiroir4", "Z42",
                           QStringLiteral("nom de la carte d'extension utiliser pour etat tiroirs 7 et 8")));
    c.LectReelleEtatTiroirs = Rogne(lit("Lect reelle etat tiroirs", "O",
                                  QStringLiteral("lecture reelle de l'etat des tiroirs (O/N)")).toUpper());
    c.TitreFenetre = Rogne(lit("Titre_Fenetre", "PELORANE - GRINDEL", QStringLiteral("nom de la fenetre")));
    const QString texteTempsMax = lit("TempsMaxAttenteProduit", "30",
                                      QStringLiteral("Temps maxi attente avant libération tiroir"));

    FixeNbTiroirs(journal, texteNbTiroirs, c);
    FixeTempsMax(journal, texteTempsMax, c);
}
