#include "TrameCartes.h"

#include "config/LectureNombre.h"
#include "base/PageDeCode.h"

bool EstEchecCartes(const QByteArray& resultat)
{
    return resultat.startsWith(EchecCartes::Vide);
}

QByteArray CalculCSgrindel2(const QByteArray& ligneCde)
{
    quint32 somme = 0;
    for (const char c : ligneCde)
        somme += uchar(c);
    const int complement = 256 - int(somme % 256); // 1 à 256 ; 256 s'écrit "100"
    const QByteArray hexa = QByteArray("00") + QByteArray::number(complement, 16).toUpper();
    return hexa.right(2);
}

QByteArray TrameCommande(const QByteArray& ligneCde)
{
    QByteArray trame;
    trame.reserve(ligneCde.size() + 4);
    trame += CaractereEsc;
    trame += ligneCde;
    trame += CalculCSgrindel2(ligneCde);
    trame += CaractereCr;
    return trame;
}

QByteArray TrameReponse(char apresBarre, const QByteArray& chargeUtile)
{
    const QByteArray couvert = QByteArray(1, apresBarre) + chargeUtile;
    return QByteArray("/") + couvert + CalculCSgrindel2(couvert) + CaractereCr;
}

QByteArray AnalyseReponse(const QByteArray& ligne)
{
    if (ligne.size() <= 1)
        return EchecCartes::TimeOut;
    if (ligne.at(0) != '/')
        return EchecCartes::PasDeBarre;
    // Il faut au moins "/", le caractère qui suit et deux caractères de somme.
    if (ligne.size() < 4)
        return EchecCartes::TropCourte;
    const QByteArray couvert = ligne.mid(1, ligne.size() - 3);
    const QByteArray somme = ligne.right(2);
    if (CalculCSgrindel2(couvert) != somme)
        return EchecCartes::SommeIncorrecte;
    return ligne.mid(2, ligne.size() - 4);
}

QByteArray AdresseCarte(const QString& nomCarte)
{
    const QString nom = nomCarte.trimmed();
    if (nom.isEmpty())
        return QByteArray();
    const QByteArray lettre = EncodeWindows1252(nom.left(1));
    const qint64 code = qint64(LitNombre(nom.mid(1))) + 48;
    // Le caractère d'adresse doit tenir dans un octet ; au-delà, aucune carte ne répondrait
    // et l'ancien calcul s'arrêtait sur une erreur.
    if (lettre == "?" && nom.at(0) != QLatin1Char('?'))
        return QByteArray();
    if (code < 0 || code > 255)
        return QByteArray();
    return lettre + char(code);
}

QString TexteAffichable(const QByteArray& octets, int longueurMax)
{
    QString texte;
    texte.reserve(qMin<qsizetype>(octets.size(), longueurMax) + 8);
    for (qsizetype i = 0; i < octets.size(); ++i) {
        const uchar o = uchar(octets.at(i));
        const QString morceau = DecodeWindows1252(QByteArray(1, char(o)));
        const char16_t u = morceau.at(0).unicode();
        // Contrôles C0, DEL et les cinq positions non attribuées (restées en C1).
        const bool controle = u < 0x20 || (u >= 0x7F && u <= 0x9F);
        const QString vu = controle
            ? QStringLiteral("<%1>").arg(uint(o), 2, 16, QLatin1Char('0')).toUpper()
            : morceau;
        if (texte.size() + vu.size() > longueurMax) {
            texte += QStringLiteral(" ...(%1 octets)").arg(octets.size());
            break;
        }
        texte += vu;
    }
    return texte;
}
