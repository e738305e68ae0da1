#include "timeline/SeamCell.h"

#include "cells/Appearance.h"

#include <QTextBlockFormat>

AttributedString SeamCell::stringForTextView(bool& determinate)
{
    determinate = true;
    AttributedString text(QStringLiteral("显示更多新微博"));
    const Appearance& appearance = CellContext::current().appearance();
    text.setFont(appearance.bodyFont());
    text.setForegroundColor(appearance.linkColor());
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    text.setParagraphStyle(centred);
    return text;
}
