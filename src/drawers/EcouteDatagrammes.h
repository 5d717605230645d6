#pragma once

#include "drawers/FileDatagrammes.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QElapsedTimer>
#include <QTimer>
#include <memory>

class FilLectureUdp;
class JournalStatut;
class TableauTiroirs;

// Socket Winsock_UDP : écoute les datagrammes de fin de convoyage et libère le
// tiroir nommé. Rien n'est jamais renvoyé à l'expéditeur. La socket est lue par un
// fil à elle (FilLectureUdp) ; tiroirs et journal ne sont touchés que par le fil
// des fenêtres, qui prend ce que le fil de lecture a déposé dans une file bornée.
class EcouteDatagrammes : public QObject
{
    Q_OBJECT
public:
    EcouteDatagrammes(JournalStatut& journal, TableauTiroirs& tiroirs, QObject* parent = nullptr);
    ~EcouteDatagrammes() override;

    // Ferme puis lie la socket à adresse:port ; un échec est écrit au journal et le
    // service continue sans écoute. Un port pris par un autre programme est
    // redemandé toutes les NouvelEssaiLiaisonMs, sans bruit, jusqu'à ce qu'il soit
    // rendu (une ligne le dit alors).
    void Lie(const QString& adresse, const QString& port);
    // Arrêt : ferme la socket et attend la fin du fil de lecture, sans ligne de journal.
    void Ferme();
    bool EstFerme() const;
    // Port effectivement lié (0 quand la socket est fermée).
    quint16 PortLocal() const;
    // Datagrammes lus par le fil de lecture depuis la dernière liaison.
    qint64 DatagrammesRecus() const;

    // Expéditeurs admis (--source-udp) ; liste vide : tous, comme sans l'option. Une
    // adresse illisible est écrite au journal et n'admet personne.
    void AdmetSources(const QStringList& adresses);

    // File du noyau demandée pour la socket : un flot de 50 000 datagrammes/s y tient
    // environ 0,1 s pendant que le fil de lecture n'a pas la main.
    static constexpr int TamponReceptionOctets = 4 * 1024 * 1024;
    // Écart minimal entre deux prises de la file : sous un flot, le fil des fenêtres
    // ne traite qu'un lot (256 lignes au plus) par période, au lieu de milliers de
    // petits lots par seconde ; à l'allure normale, rien n'attend.
    static constexpr int IntervalleLotsMs = 100;
    static constexpr int NouvelEssaiLiaisonMs = 5000;

private:
    // Liaison de la socket et départ du fil de lecture ; faux et la raison sinon.
    bool LieSocket(QString* raison);
    void RetenteLiaison();
    void TraiteDepose();
    void TraiteLot(const FileDatagrammes::Lot& lot);

    JournalStatut& m_journal;
    TableauTiroirs& m_tiroirs;
    FileDatagrammes m_file;
    std::unique_ptr<FilLectureUdp> m_fil;
    quint16 m_port = 0;
    // Cible de la liaison, gardée pour les nouveaux essais sur un port pris.
    QHostAddress m_hote;
    quint16 m_numero = 0;
    QString m_cible;
    QTimer m_nouvelEssai;
    bool m_traitementEnCours = false;
    bool m_relance = false; // un réveil est venu pendant le traitement (OuvreTiroir cède)
    QElapsedTimer m_depuisLot;
    QTimer m_differe; // prise remise à la fin de l'écart minimal
    bool m_filtre = false;
    QList<QHostAddress> m_sources;
};
