#pragma once

#include <QDate>
#include <QString>

// Une journée d'essai du registre des remises, écrite par RegistreRemises lui-même
// sous une heure murale réglée pas à pas, pour les essais du rapport d'activité.
// Le 10 mars 2026 (heure locale) :
//   CD1 ordre 41, tiroir 2 : vue 09:00:00, remise 09:00:30, libérée 09:01:10 (fin de convoyage)
//   CD2 ordre 42, tiroir 2 : vue 09:10:00, remise 09:12:00, libérée 09:13:00 (temps dépassé)
//   CD4 sans ordre, tiroir 3 : sans vue, remise 09:30:00, libérée 09:30:50 (tous les tiroirs)
//   CD3 ordre 43, tiroir 5 : vue 14:00:00, remise 14:00:05, libérée 14:00:25 (clic)
//   CD5 ordre 45 : remise commencée à 15:00:00, jamais faite (interrompue)
//   CD7 ordre 47 : remise commencée à 16:00:00, mise de côté
// et, hors du jour, CD0 remise la veille à 23:59:50, CD9 le lendemain à 00:00:10.
namespace JourneeEssai {

const QDate Jour(2026, 3, 10);

// Heure locale d'un jour ("HH:mm:ss") en millisecondes depuis l'époque.
qint64 A(const QDate& jour, const char* heure);

// Crée le registre à ce chemin et y écrit la journée ; faux en cas d'échec.
bool Ecrit(const QString& chemin);

} // namespace JourneeEssai
