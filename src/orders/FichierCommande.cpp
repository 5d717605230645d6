#include "FichierCommande.h"

#include "base/PageDeCode.h"

#include <cstring>

namespace {

const char FinDeLigne[] = "\r\n";

struct Definition
{
    const char* mot;
    FichierCommande::MotCle motCle;
};

// Aucun mot n'est le début d'un autre : l'ordre de recherche est sans effet.
const Definition MotsCles[] = {
    { "protocol", FichierCommande::MotCle::Protocol },
    { "transpor", FichierCommande::MotCle::Transpor },
    { "vendeur", FichierCommande::MotCle::Vendeur },
    { "poste", FichierCommande::MotCle::Poste },
    { "status", FichierCommande::MotCle::Status },
    { "priorite", FichierCommande::MotCle::Priorite },
    { "ordre", FichierCommande::MotCle::Ordre },
    { "C.rendu", FichierCommande::MotCle::CRendu },
    { "P.Recept", FichierCommande::MotCle::PRecept },
    { "date", FichierCommande::MotCle::Date },
    { "cip Qt", FichierCommande::MotCle::CipQt },
};

// Le début montré d'un contenu trop long pour l'écran, et s'il a été coupé.
QByteArray DebutMontre(const QByteArray& contenu, bool* coupe)
{
    *coupe = contenu.size() > FichierCommande::TailleMaxAffichage;
    return *coupe ? contenu.left(FichierCommande::TailleMaxAffichage) : contenu;
}

} // namespace

QString FichierCommande::LigneCoupure()
{
    return QStringLiteral("------ affichage coupé : seuls les %1 premiers octets sont montrés ------")
        .arg(TailleMaxAffichage);
}

QList<QByteArray> FichierCommande::DecoupeLignes(const QByteArray& contenu)
{
    QList<QByteArray> lignes;
    const char* const debutContenu = contenu.constData();
    const qsizetype taille = contenu.size();
    qsizetype debut = 0;
    qsizetype i = 0;
    while (i < taille) {
        const char c = debutContenu[i];
        if (c == '\r' || c == '\n') {
            lignes.append(contenu.mid(debut, i - debut));
            // CR LF ne compte que pour une fin de ligne.
            if (c == '\r' && i + 1 < taille && debutContenu[i + 1] == '\n')
                ++i;
            ++i;
            debut = i;
        } else {
            ++i;
        }
    }
    if (debut < taille)
        lignes.append(contenu.mid(debut));
    return lignes;
}

FichierCommande::MotCle FichierCommande::ClasseLigne(const QByteArray& ligne)
{
    for (const Definition& d : MotsCles) {
        const qsizetype n = qsizetype(std::strlen(d.mot));
        if (ligne.size() >= n && std::memcmp(ligne.constData(), d.mot, size_t(n)) == 0)
            return d.motCle;
    }
    return MotCle::Aucun;
}

bool FichierCommande::EstMasqueeALAffichage(MotCle motCle)
{
    switch (motCle) {
    case MotCle::Protocol:
    case MotCle::Transpor:
    case MotCle::Vendeur:
    case MotCle::Poste:
    case MotCle::Status:
    case MotCle::Priorite:
        return true;
    default:
        return false;
    }
}

QString FichierCommande::TexteAffichageBrut(const QString& chemin, const QByteArray& contenu)
{
    bool coupe = false;
    const QByteArray debut = DebutMontre(contenu, &coupe);
    QByteArray montre;
    montre.reserve(debut.size() + 64);
    for (const QByteArray& ligne : DecoupeLignes(debut)) {
        if (EstMasqueeALAffichage(ClasseLigne(ligne)))
            continue;
        montre += ligne;
        montre += FinDeLigne;
    }
    return chemin + QString::fromLatin1(FinDeLigne) + DecodeWindows1252(montre)
        + (coupe ? LigneCoupure() + QString::fromLatin1(FinDeLigne) : QString());
}

QByteArray FichierCommande::CopiePassation(const QByteArray& contenu, const QString& gare)
{
    // La gare est un texte de chiffres ; elle est écrite telle que reçue.
    const QByteArray lignePRecept = QByteArrayLiteral("P.Recept: ") + EncodeWindows1252(gare);
    const QByteArray ligneProtocol = QByteArrayLiteral("protocol: Fich-Pelorane");
    QByteArray copie;
    copie.reserve(contenu.size() + 64);
    for (const QByteArray& ligne : DecoupeLignes(contenu)) {
        switch (ClasseLigne(ligne)) {
        case MotCle::PRecept:
            copie += lignePRecept;
            break;
        case MotCle::Protocol:
            copie += ligneProtocol;
            break;
        default:
            copie += ligne;
            break;
        }
        copie += FinDeLigne;
    }
    return copie;
}

QString FichierCommande::TexteVueFichier(const QString& chemin, const QByteArray& contenu)
{
    bool coupe = false;
    const QByteArray debut = DebutMontre(contenu, &coupe);
    QByteArray corps;
    corps.reserve(debut.size() + 64);
    for (const QByteArray& ligne : DecoupeLignes(debut)) {
        corps += ligne;
        corps += FinDeLigne;
    }
    return QStringLiteral("------ fichier : ") + chemin + QStringLiteral(" ------\r\n")
        + DecodeWindows1252(corps) + (coupe ? LigneCoupure() + QString::fromLatin1(FinDeLigne) : QString());
}

QString FichierCommande::OrdreDe(const QByteArray& contenu)
{
    for (const QByteArray& ligne : DecoupeLignes(contenu))
        if (ClasseLigne(ligne) == MotCle::Ordre)
            return DecodeWindows1252(ligne.mid(10, 10)).trimmed();
    return QString();
}
