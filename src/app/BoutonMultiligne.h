#pragma once

#include <QPushButton>

// Bouton dont la légende revient à la ligne quand elle est plus large que lui,
// comme sur la fenêtre d'origine : le texte du bouton reste sa légende exacte.
class BoutonMultiligne : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* evenement) override;
};
