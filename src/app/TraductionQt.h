#pragma once

class QCoreApplication;

// Charge la traduction française des textes propres de Qt (boutons "Oui"/"Non",
// boîtes standard), compilée dans le programme, quelle que soit la langue du
// système. Faux si le catalogue ne se charge pas.
bool ChargeTraductionQt(QCoreApplication& application);
