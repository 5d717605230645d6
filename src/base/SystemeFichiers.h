#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <functional>

// Accès aux fichiers d'un dossier rempli par d'autres programmes : lecture
// bornée, effacement, existence, nature d'une entrée, taille et date, lecture
// du dossier. Chaque opération a son corps Unix et son corps Windows côte à
// côte. Sous Unix les noms sont des octets : un nom listé hors UTF-8 est montré
// lu en Windows-1252 et retrouvé ici sous ses vrais octets.
namespace SystemeFichiers {

enum class Lecture {
    Lue,          // contenu complet, au plus la limite
    Absente,      // disparue
    Illisible,    // ouverture ou lecture refusée
    PasOrdinaire, // dossier, tube, périphérique, lien sans cible…
    TropGrosse,   // plus grande que la limite : rien n'est rendu
    EnCours,      // changée depuis le dernier relevé : encore en écriture
};

// Taille et date de modification (ns) d'un fichier ; taille -1 : absent.
// Ce n'est pas une empreinte du contenu : deux écritures de même taille dans
// la même tranche de date ne se distinguent pas.
struct EtatFichier
{
    qint64 taille = -1;
    qint64 modificationNs = 0;
    bool operator==(const EtatFichier& autre) const
    {
        return taille == autre.taille && modificationNs == autre.modificationNs;
    }
    bool operator!=(const EtatFichier& autre) const { return !(*this == autre); }
};

// Une entrée gardée par la lecture d'un dossier.
struct EntreeDossier
{
    QByteArray brut;        // octets du nom (Unix) ; UTF-8 ailleurs
    QString nom;            // nom décodé : UTF-8, ou lu en Windows-1252
    bool horsUtf8 = false;  // nom hors UTF-8 (Unix), montré lu en Windows-1252
    bool homonyme = false;  // hors UTF-8 et le nom lu existe aussi en UTF-8
    QString genre;          // "" : fichier ordinaire ; sinon voir GenreEntree
};

// Lecture bornée d'un fichier : jamais d'ouverture d'un tube ou d'un
// périphérique ; au plus `limite` octets rendus, TropGrosse au-delà (contenu
// reçoit alors les `limite` premiers octets). Les noms hors UTF-8 listés se
// lisent aussi. Un écrivain qui tient encore le fichier donne EnCours : sous
// Windows le fichier est ouvert en refusant les autres écrivains ; sous Linux
// un bail en lecture (F_SETLEASE) n'est accordé que sans écrivain, et tenu
// pendant la lecture (sans bail possible, rien n'est su). *etat : taille et
// date à la fin de la lecture ; taille -2 quand le fichier a changé pendant.
Lecture LitBorne(const QString& chemin, qint64 limite, QByteArray* contenu, EtatFichier* etat = nullptr);
// Effacement d'un fichier (noms hors UTF-8 compris).
bool Supprime(const QString& chemin);
// Vrai quand une entrée de ce nom existe (lien sans cible compris).
bool Existe(const QString& chemin);
EtatFichier EtatDe(const QString& chemin);
// Ce qu'est une entrée qui n'est pas un fichier ordinaire (après les liens) :
// "dossier", "tube nommé", "lien sans cible", "lien vers un périphérique"… ;
// "" pour un fichier ordinaire ou une entrée absente.
QString GenreEntree(const QString& chemin);
// Octets du chemin pour le système (Unix) : le nom hors UTF-8 montré en
// Windows-1252 y retrouve ses octets.
QByteArray CheminSysteme(const QString& chemin);

// Nom décodé tel que la lecture du dossier le donne : UTF-8, ou lu en
// Windows-1252 quand ses octets ne sont pas de l'UTF-8.
QString NomDecode(const QByteArray& brut);
// Raison d'un échec du système, en français pour les cas courants.
QString RaisonSysteme(int code);

// Donne à `voit` les octets de chaque nom du dossier, sans copie, sans autre
// requête ni décodage : de quoi voir à peu de frais si le dossier a changé
// depuis une lecture. Faux quand le dossier ne s'ouvre pas.
bool ParcourtNoms(const QString& dossier, const std::function<void(QByteArrayView)>& voit, QString* raison);

// Lit le dossier. `garde` voit les octets du nom avant toute autre requête et
// écarte ce qui ne l'intéresse pas ; `rend` reçoit chaque entrée gardée. Les
// fichiers cachés ou système de Windows sont écartés en silence. Faux quand le
// dossier ne s'ouvre pas, *raison disant pourquoi.
bool LitDossier(const QString& dossier, const std::function<bool(const QByteArray&)>& garde,
                const std::function<void(const EntreeDossier&)>& rend, QString* raison);

} // namespace SystemeFichiers
