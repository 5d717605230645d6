#include "BoutonMultiligne.h"

#include <QStyleOptionButton>
#include <QStylePainter>

void BoutonMultiligne::paintEvent(QPaintEvent*)
{
    QStylePainter peintre(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString legende = option.text;
    option.text.clear();
    peintre.drawControl(QStyle::CE_PushButton, option);
    peintre.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    peintre.drawText(rect().adjusted(3, 2, -3, -2), Qt::AlignCenter | Qt::TextWordWrap, legende);
}
