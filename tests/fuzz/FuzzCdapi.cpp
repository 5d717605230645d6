// Fuzzing (libFuzzer) de la trace CDAPI et de la réception : n'importe quels
// octets, dans chaque variante, sans plantage ni lecture hors du message, et
// avec les formes promises (un bloc par type connu, lignes de réponse complètes).
#include "Exige.h"

#include "base/JournalStatut.h"
#include "cdapi/CatalogueCdapi.h"
#include "cdapi/LiaisonCdapi.h"
#include "cdapi/TraceCdapi.h"
#include "config/Configuration.h"
#include "config/LectureNombre.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

namespace {

// Un texte de trace ne porte d'autre caractère de commande que les CR LF entre ses lignes.
void VerifieTexte(const QString& texte)
{
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const char16_t c = texte.at(i).unicode();
        if (c == u'\r')
            Exige(i + 1 < texte.size() && texte.at(i + 1) == QLatin1Char('\n'));
        else if (c == u'\n')
            Exige(i > 0 && texte.at(i - 1) == QLatin1Char('\r'));
        else
            Exige(c >= 0x20);
    }
}

struct Reception
{
    JournalStatut journal;
    Configuration config;
    LiaisonCdapi liaison{ journal, config };

    Reception()
    {
        // Sans adresse ni connexion, la réception va au bout sans réseau : l'ACK dû
        // n'a pas de destinataire, la réponse est tentée et abandonnée (cause 9).
        config.CdapiAdrServeur.clear();
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char nom[] = "fuzz_cdapi";
    static char* argv[] = { nom, nullptr };
    static QCoreApplication application(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille)
{
    const QByteArray message(reinterpret_cast<const char*>(donnees), qsizetype(taille));
    const QString normes[] = { QStringLiteral("CDAPI-A"), QStringLiteral("CDAPI-B"), QStringLiteral("CDAPI-?") };

    for (const QString& norme : normes) {
        const QStringList textes = TraduitMsgCDAPI(message, norme);
        const bool connu = !message.isEmpty() && EstTypeCdapiConnu(message.at(0));
        Exige(textes.size() == (connu ? 1 : 2));
        for (const QString& t : textes)
            VerifieTexte(t);
        if (connu)
            Exige(textes.first().endsWith(SeparateurTraceCdapi()));

        const VarianteCdapi v = VarianteDeNorme(norme);
        const int n = qMax(0, LitNombre(LitChamp(message, MsgDemandeEjection::NbLignes)));
        const int largeur = v == VarianteCdapi::B ? 35 : 12;
        Exige(ConstruitReponseEjection(message, v).size() == 19 + qsizetype(n) * largeur);
    }
    Exige(ConstruitReponseIdentification(message).size() == 14);

    // Une liaison neuve par entrée : aucun état ne passe d'une entrée à la suivante.
    Reception reception;
    reception.config.NormeCDAPI = normes[taille % 3];
    int abandons = 0;
    QObject::connect(&reception.liaison, &LiaisonCdapi::envoiTermine, [&abandons](const QByteArray&, int resultat) {
        abandons += resultat == LiaisonCdapi::NonEnvoye ? 1 : 0;
    });
    reception.liaison.RecoitArrivee(message);
    QCoreApplication::processEvents();
    // La réponse à un A (a, puis la nulle) ou à un R est tentée : un abandon, qui
    // emporte toute la file ; l'ACK jeté sans connexion n'en fait pas.
    QByteArray sansAck = message;
    sansAck.replace(QByteArray(1, AckCdapi), QByteArray());
    const bool repond = sansAck.startsWith('A') || sansAck.startsWith('R');
    Exige(abandons == (repond ? 1 : 0));
    Exige(reception.liaison.NombreMsgEnAttente() == 0);
    Exige(!reception.journal.Texte().contains(QChar(AckCdapi)));
    return 0;
}
