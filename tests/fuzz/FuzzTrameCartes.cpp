// Fuzzing (libFuzzer) des règles de la ligne des cartes : contrôle d'une réponse,
// somme, trames, adresse et texte montré au journal. Une charge utile rendue est
// exactement ce qui se trouve entre le caractère qui suit "/" et la somme : jamais
// la somme elle-même, jamais un octet de trop.
#include "Exige.h"

#include "drawers/TrameCartes.h"

#include <QList>

#include <cstdint>

namespace {

int ValeurHexa(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1; // les minuscules ne sont jamais écrites
}

void VerifieSomme(const QByteArray& octets)
{
    const QByteArray somme = CalculCSgrindel2(octets);
    Exige(somme.size() == 2);
    const int haut = ValeurHexa(somme.at(0));
    const int bas = ValeurHexa(somme.at(1));
    Exige(haut >= 0 && bas >= 0);
    quint32 total = quint32(haut * 16 + bas);
    for (const char c : octets)
        total += uchar(c);
    Exige(total % 256 == 0);
}

void VerifieTexteAffichable(const QByteArray& octets, int longueurMax)
{
    const QString texte = TexteAffichable(octets, longueurMax);
    const QString suffixe = QStringLiteral(" ...(%1 octets)").arg(octets.size());
    const bool coupe = texte.endsWith(suffixe);
    Exige(texte.size() <= longueurMax + (coupe ? suffixe.size() : 0));
    for (const QChar c : texte) {
        const char16_t u = c.unicode();
        Exige(u >= 0x20 && !(u >= 0x7F && u <= 0x9F));
    }
    // Sans coupure, chaque octet donne un caractère ou une forme <XX> de quatre.
    if (!coupe)
        Exige(texte.size() >= octets.size() && texte.size() <= 4 * octets.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille)
{
    const QByteArray ligne(reinterpret_cast<const char*>(donnees), qsizetype(taille));

    VerifieSomme(ligne);
    Exige(TrameCommande(ligne) == QByteArray(1, CaractereEsc) + ligne + CalculCSgrindel2(ligne) + CaractereCr);

    // Une ligne reçue (sans son CR) : charge utile exacte, ou l'un des textes d'échec.
    const QByteArray resultat = AnalyseReponse(ligne);
    const bool valide = ligne.size() >= 4 && ligne.at(0) == '/'
        && CalculCSgrindel2(ligne.mid(1, ligne.size() - 3)) == ligne.right(2);
    if (valide) {
        Exige(resultat.size() == ligne.size() - 4);
        Exige(resultat == ligne.mid(2, ligne.size() - 4));
        Exige(TrameReponse(ligne.at(1), resultat) == ligne + CaractereCr);
    } else {
        const QList<QByteArray> echecs = { EchecCartes::TimeOut, EchecCartes::PasDeBarre, EchecCartes::TropCourte,
                                           EchecCartes::SommeIncorrecte };
        Exige(echecs.contains(resultat));
    }

    // Aller et retour : toute charge, même "Err:..." ou avec CR, revient telle quelle.
    if (!ligne.isEmpty()) {
        const QByteArray charge = ligne.mid(1);
        const QByteArray reponse = TrameReponse(ligne.at(0), charge);
        Exige(reponse.size() == charge.size() + 5 && reponse.endsWith(CaractereCr));
        Exige(AnalyseReponse(reponse.chopped(1)) == charge);
    }

    VerifieTexteAffichable(ligne, 200);
    VerifieTexteAffichable(ligne, int(taille % 17));

    const QByteArray adresse = AdresseCarte(QString::fromLatin1(ligne));
    Exige(adresse.isEmpty() || adresse.size() == 2);
    return 0;
}
