#include "cdapi/TraceCdapi.h"

#include "cdapi/CatalogueCdapi.h"
#include "base/PageDeCode.h"

namespace {

const QString FinDeLigne = QStringLiteral("\r\n");

// Blancs ôtés aux deux bouts : les seuls espaces, comme pour les valeurs des clés.
QByteArray OteBlancs(const QByteArray& octets)
{
    qsizetype debut = 0;
    qsizetype fin = octets.size();
    while (debut < fin && octets[debut] == ' ')
        ++debut;
    while (fin > debut && octets[fin - 1] == ' ')
        --fin;
    return octets.mid(debut, fin - debut);
}

// Lecture des champs d'un message pour la trace, et les lignes déjà écrites.
class Trace
{
public:
    explicit Trace(const QByteArray& message) : m_message(message) {}

    QByteArray Brut(Champ c) const { return LitChamp(m_message, c); }
    QString Texte(Champ c) const { return TexteVisible(Brut(c)); }
    // Les 13 premiers caractères seulement (codes produit longs de CDAPI-B).
    QString Coupe13(Champ c) const { return TexteVisible(Brut(c).left(13)); }
    QString Epure(Champ c) const { return TexteVisible(OteBlancs(Brut(c))); }
    int Nombre(Champ c) const { return LitNombreChamp(m_message, c); }
    QString DansLigne(int premiere, int largeur, int i, Champ c) const
    {
        return TexteVisible(LitChampDeLigne(m_message, premiere, largeur, i, c));
    }
    QString DansLigneCoupe13(int premiere, int largeur, int i, Champ c) const
    {
        return TexteVisible(LitChampDeLigne(m_message, premiere, largeur, i, c).left(13));
    }
    QString TexteLibre(Champ longueur) const { return TexteVisible(LitTexteLibre(m_message, longueur)); }

    void Ligne(const QString& ligne) { m_lignes << ligne; }
    QString Bloc(const TypeCdapi& type) const
    {
        QStringList tout;
        tout << QStringLiteral("- ") + TexteVisible(QByteArray(1, type.lettre))
                    + QString::fromUtf8(type.titre);
        tout << m_lignes;
        tout << SeparateurTraceCdapi();
        return tout.join(FinDeLigne);
    }

private:
    const QByteArray& m_message;
    QStringList m_lignes;
};

bool VarianteConnue(VarianteCdapi v)
{
    return v != VarianteCdapi::Autre;
}

void TraceDemandeEjection(Trace& t, VarianteCdapi v)
{
    namespace M = MsgDemandeEjection;
    t.Ligne(QStringLiteral("   cde: ") + t.Texte(M::Cde) + QStringLiteral("  poste: ") + t.Texte(M::Poste)
            + QStringLiteral("  sortie: ") + t.Texte(M::Sortie));
    t.Ligne(QStringLiteral("     - ") + t.Texte(M::Priorite) + TextePriorite(t.Brut(M::Priorite)));
    if (!VarianteConnue(v))
        return;
    const int n = t.Nombre(M::NbLignes);
    const M::Ligne& l = v == VarianteCdapi::A ? M::LigneA : M::LigneB;
    for (int i = 1; i <= n; ++i) {
        const QString quantite = t.DansLigne(M::PremiereLigne, l.largeur, i, l.quantite);
        const QString flag = t.DansLigne(M::PremiereLigne, l.largeur, i, l.flag);
        if (v == VarianteCdapi::A)
            t.Ligne(QStringLiteral("   cip ") + t.DansLigne(M::PremiereLigne, l.largeur, i, l.code)
                    + QStringLiteral("  Q demandee = ") + quantite + QStringLiteral("   flag: ") + flag);
        else
            t.Ligne(QStringLiteral("   cip ") + t.DansLigneCoupe13(M::PremiereLigne, l.largeur, i, l.code)
                    + QStringLiteral(" Q dem = ") + quantite + QStringLiteral("  flag: ") + flag);
    }
}

void TraceReponseEjection(Trace& t, VarianteCdapi v)
{
    namespace M = MsgReponseEjection;
    t.Ligne(QStringLiteral("   cde: ") + t.Texte(M::Cde) + QStringLiteral("  poste: ") + t.Texte(M::Poste)
            + QStringLiteral("  sortie: ") + t.Texte(M::Sortie));
    t.Ligne(QStringLiteral("     - ") + t.Texte(M::Statut) + TexteStatutEjection(t.Brut(M::Statut)));
    if (!VarianteConnue(v))
        return;
    const int n = t.Nombre(M::NbLignes);
    const M::Ligne& l = v == VarianteCdapi::A ? M::LigneA : M::LigneB;
    for (int i = 1; i <= n; ++i) {
        const QString quantite = t.DansLigne(M::PremiereLigne, l.largeur, i, l.quantite);
        if (v == VarianteCdapi::A)
            t.Ligne(QStringLiteral("   cip ") + t.DansLigne(M::PremiereLigne, l.largeur, i, l.code)
                    + QStringLiteral("   Q delivree = ") + quantite);
        else
            t.Ligne(QStringLiteral("   cip ") + t.DansLigneCoupe13(M::PremiereLigne, l.largeur, i, l.code)
                    + QStringLiteral("  Q delivree = ") + quantite);
    }
}

void TraceDemandeArticle(Trace& t, VarianteCdapi v)
{
    namespace M = MsgDemandeArticle;
    if (!VarianteConnue(v))
        return;
    const M::Disposition& d = DispositionSelon(v, M::A, M::B, M::Autre);
    t.Ligne(QStringLiteral("   poste: ") + t.Texte(d.poste) + QStringLiteral("  CIP: ") + t.Texte(d.code));
}

void TraceReponseArticle(Trace& t, VarianteCdapi v)
{
    namespace M = MsgReponseArticle;
    const M::Disposition& d = DispositionSelon(v, M::A, M::B, M::Autre);
    t.Ligne(QStringLiteral("   poste: ") + t.Texte(d.poste) + QStringLiteral(" CIP: ") + t.Coupe13(d.code)
            + QStringLiteral(" Qtot= ") + t.Texte(d.qtot));
    const int n = t.Nombre(d.nbLignes);
    for (int i = 1; i <= n; ++i) {
        const QString canal = t.DansLigne(d.premiereLigne, d.largeurLigne, i, d.canal);
        const QString capacite = t.DansLigne(d.premiereLigne, d.largeurLigne, i, d.capacite);
        const QString quantite = t.DansLigne(d.premiereLigne, d.largeurLigne, i, d.quantite);
        if (v == VarianteCdapi::A)
            t.Ligne(QStringLiteral("   canal:") + canal + QStringLiteral(" capacite:") + capacite
                    + QStringLiteral(" Q=") + quantite);
        else
            t.Ligne(QStringLiteral("   canal:") + canal + QStringLiteral(" cap:") + capacite
                    + QStringLiteral(" Q=") + quantite);
    }
    if (n == 0)
        t.Ligne(QStringLiteral(" ***** PAS DE POSITION PRODUIT *****"));
}

void TraceRemplissage(Trace& t, VarianteCdapi v)
{
    namespace M = MsgRemplissage;
    const M::Disposition& d = DispositionSelon(v, M::A, M::B, M::Autre);
    t.Ligne(QStringLiteral("   cde:") + t.Texte(d.cde) + QStringLiteral("  poste:") + t.Texte(d.poste)
            + QStringLiteral("  CIP:") + t.Epure(d.code));
    t.Ligne(QStringLiteral("  Q:") + t.Texte(d.quantite) + QStringLiteral(" EAN:") + t.Epure(d.ean)
            + QStringLiteral(" dateP:") + t.Texte(d.date));
}

void TraceReponseRemplissage(Trace& t, VarianteCdapi v)
{
    namespace M = MsgReponseRemplissage;
    const M::Disposition& d = DispositionSelon(v, M::A, M::B, M::Autre);
    t.Ligne(QStringLiteral("   cde:") + t.Texte(d.cde) + QStringLiteral("  poste:") + t.Texte(d.poste)
            + QStringLiteral("  CIP:") + t.Epure(d.code));
    t.Ligne(QStringLiteral("  Capacite/Quant: ") + t.Texte(d.capacite) + QStringLiteral("  Canal:")
            + t.Texte(d.canal) + QStringLiteral("     - ") + t.Texte(d.statut)
            + TexteStatutRemplissage(t.Brut(d.statut)));
}

void TraceReponseRangement(Trace& t, VarianteCdapi v)
{
    namespace M = MsgReponseRangement;
    const M::Disposition& d = DispositionSelon(v, M::A, M::B, M::Autre);
    if (VarianteConnue(v)) {
        t.Ligne(QStringLiteral("  nTrans:") + t.Texte(d.nTrans));
        t.Ligne(QStringLiteral("  cip: ") + t.Texte(d.code));
        t.Ligne(QStringLiteral("  date: ") + t.Texte(d.date) + QStringLiteral("  Qt: ") + t.Texte(d.quantite)
                + QStringLiteral("  status: ") + t.Texte(d.statut));
    }
    t.Ligne(TexteStatutRangement(t.Brut(d.statut)));
}

void TraceDemandeRangement(Trace& t, VarianteCdapi v)
{
    namespace M = MsgDemandeRangement;
    const M::Disposition& d = DispositionSelon(v, M::A, M::B, M::Autre);
    if (VarianteConnue(v)) {
        t.Ligne(QStringLiteral("  nTrans:") + t.Texte(d.nTrans) + QStringLiteral(" nBL: ") + t.Texte(d.nBL));
        t.Ligne(QStringLiteral("  cip: ") + t.Texte(d.code) + QStringLiteral("  EAN:") + t.Epure(d.ean));
        t.Ligne(QStringLiteral("  date: ") + t.Texte(d.date) + QStringLiteral("  Qt: ") + t.Texte(d.quantite)
                + QStringLiteral("  status: ") + t.Texte(d.statut));
    }
    if (v == VarianteCdapi::A)
        t.Ligne(QStringLiteral("  vig: ") + t.Texte(d.vig));
    t.Ligne(TexteStatutReception(t.Brut(d.statut)));
}

void TraceDemandeControle(Trace& t, VarianteCdapi v)
{
    namespace M = MsgDemandeControle;
    if (!VarianteConnue(v))
        return;
    const M::Disposition& d = DispositionSelon(v, M::A, M::B, M::Autre);
    t.Ligne(QStringLiteral("  poste:") + t.Texte(d.poste) + QStringLiteral("  CIPdebut:") + t.Texte(d.codeDebut)
            + QStringLiteral(" sur ") + t.Texte(d.nbLignes) + QStringLiteral(" lig."));
}

void TraceReponseControle(Trace& t, VarianteCdapi v)
{
    namespace M = MsgReponseControle;
    if (!VarianteConnue(v))
        return;
    const M::Disposition& d = DispositionSelon(v, M::A, M::B, M::Autre);
    t.Ligne(QStringLiteral("  poste:") + t.Texte(d.poste) + QStringLiteral("  CIPdebut:") + t.Texte(d.codeDebut));
    const int n = t.Nombre(d.nbLignes);
    for (int i = 1; i <= n; ++i) {
        const QString code = t.DansLigne(d.premiereLigne, d.largeurLigne, i, d.code);
        const QString quantite = t.DansLigne(d.premiereLigne, d.largeurLigne, i, d.quantite);
        if (v == VarianteCdapi::A)
            t.Ligne(QStringLiteral("     cip ") + code + QStringLiteral("   Q en stock = ") + quantite);
        else
            t.Ligne(QStringLiteral("   cip ") + code + QStringLiteral(" Qstock = ") + quantite);
    }
}

void TraceDemandeStatutCommande(Trace& t)
{
    namespace M = MsgDemandeStatutCommande;
    t.Ligne(QStringLiteral("   cde: ") + t.Texte(M::Cde) + QStringLiteral("  poste: ") + t.Texte(M::Poste));
}

void TraceReponseStatutCommande(Trace& t)
{
    namespace M = MsgReponseStatutCommande;
    t.Ligne(QStringLiteral("   cde: ") + t.Texte(M::Cde) + QStringLiteral("  poste: ") + t.Texte(M::Poste));
    t.Ligne(QStringLiteral("     - ") + t.Texte(M::Statut) + TexteStatutCommande(t.Brut(M::Statut)));
    t.Ligne(QStringLiteral("   ") + t.TexteLibre(M::Longueur));
}

void TraceDemandeProduit(Trace& t)
{
    namespace M = MsgDemandeProduit;
    t.Ligne(QStringLiteral("   poste: ") + t.Texte(M::Poste) + QStringLiteral("  CIP: ") + t.Texte(M::Cip)
            + QStringLiteral("  EAN: ") + t.Texte(M::Ean));
}

void TraceReponseProduit(Trace& t)
{
    namespace M = MsgReponseProduit;
    t.Ligne(QStringLiteral("   poste: ") + t.Texte(M::Poste) + QStringLiteral("  CIP: ") + t.Texte(M::Cip)
            + QStringLiteral("  libelle: ") + t.Texte(M::Libelle));
    t.Ligne(QStringLiteral("forme: ") + t.Texte(M::Forme) + QStringLiteral("  Q par boite: ")
            + t.Texte(M::QParBoite) + QStringLiteral("  EAN: ") + t.Texte(M::Ean));
    t.Ligne(QStringLiteral("date peremption: ") + t.Texte(M::DatePeremption));
}

void TraceIdentification(Trace& t)
{
    namespace M = MsgIdentification;
    t.Ligne(QStringLiteral("   poste: ") + t.Texte(M::Poste) + QStringLiteral("  version protocole: ")
            + t.Texte(M::Version));
    t.Ligne(QStringLiteral("     dialogue utilises: ") + t.TexteLibre(M::Longueur));
}

void TraceDemandeStatutInstallation(Trace& t)
{
    t.Ligne(QStringLiteral("  poste: ") + t.Texte(MsgDemandeStatutInstallation::Poste));
}

void TraceReponseStatutInstallation(Trace& t)
{
    namespace M = MsgReponseStatutInstallation;
    t.Ligne(QStringLiteral("  poste: ") + t.Texte(M::Poste));
    t.Ligne(QStringLiteral("     - ") + t.Texte(M::Statut) + TexteStatutInstallation(t.Brut(M::Statut)));
    t.Ligne(QStringLiteral("   ") + t.TexteLibre(M::Longueur));
}

} // namespace

QString TexteVisible(const QByteArray& octets)
{
    QString texte = DecodeWindows1252(octets);
    for (QChar& c : texte) {
        const char16_t u = c.unicode();
        if (u < 0x20)
            c = QChar(char16_t(0x2400 + u)); // symboles ␀ à ␟
        else if (u == 0x7F)
            c = QChar(char16_t(0x2421)); // ␡
        else if (u >= 0x80 && u <= 0x9F)
            c = QChar(char16_t(0xFFFD)); // octet sans caractère dans la page de code
    }
    return texte;
}

QString SeparateurTraceCdapi()
{
    return QString(42, QLatin1Char('-'));
}

QStringList TraduitMsgCDAPI(const QByteArray& message, const QString& NormeCDAPI)
{
    const char lettre = message.isEmpty() ? '\0' : message.at(0);
    const TypeCdapi* type = message.isEmpty() ? nullptr : ChercheTypeCdapi(lettre);
    if (!type) {
        const QString vue = message.isEmpty() ? QString() : TexteVisible(message.left(1));
        return { QStringLiteral("COMMANDE INCONNUE : '") + vue + QStringLiteral("'"),
                 QStringLiteral("(") + TexteVisible(message) + QStringLiteral(")") };
    }

    const VarianteCdapi v = VarianteDeNorme(NormeCDAPI);
    Trace t(message);
    switch (lettre) {
    case 'A': TraceDemandeEjection(t, v); break;
    case 'a': TraceReponseEjection(t, v); break;
    case 'B': TraceDemandeArticle(t, v); break;
    case 'b': TraceReponseArticle(t, v); break;
    case 'E': TraceRemplissage(t, v); break;
    case 'e': TraceReponseRemplissage(t, v); break;
    case 'I': TraceReponseRangement(t, v); break;
    case 'i': TraceDemandeRangement(t, v); break;
    case 'K': TraceDemandeControle(t, v); break;
    case 'k': TraceReponseControle(t, v); break;
    case 'O': TraceDemandeStatutCommande(t); break;
    case 'o': TraceReponseStatutCommande(t); break;
    case 'p': TraceDemandeProduit(t); break;
    case 'P': TraceReponseProduit(t); break;
    case 'R':
    case 'r': TraceIdentification(t); break;
    case 'S': TraceDemandeStatutInstallation(t); break;
    case 's': TraceReponseStatutInstallation(t); break;
    default: break;
    }
    return { t.Bloc(*type) };
}
