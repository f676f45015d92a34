#include "app/gui/StrengthChartWidget.h"

#include "blib/password/BPassword.h"

#include <QPainter>

namespace {

constexpr int ratings = 5;

QColor ratingColour(int rating)
{
    static const QColor colours[ratings] = { QColor(0xc6, 0x28, 0x28), QColor(0xef, 0x6c, 0x00), QColor(0xf9, 0xa8, 0x25),
                                             QColor(0x7c, 0xb3, 0x42), QColor(0x2e, 0x7d, 0x32) };
    return colours[qBound(0, rating, ratings - 1)];
}

} // namespace

StrengthChartWidget::StrengthChartWidget(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("strengthChartWidget"));
    setCounts({});
}

void StrengthChartWidget::setCounts(const QList<int>& counts)
{
    m_counts = counts.mid(0, ratings);
    while (m_counts.size() < ratings)
        m_counts.append(0);
    QStringList tip;
    for (int rating = 0; rating < ratings; ++rating)
        tip << tr("%1: %2").arg(ratingName(rating)).arg(m_counts.at(rating));
    setToolTip(tip.join(QLatin1Char('\n')));
    update();
}

void StrengthChartWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics = fontMetrics();
    const int textHeight = metrics.height();
    const QRect area = rect().adjusted(4, textHeight + 4, -4, -(textHeight + 6));
    int highest = 1;
    for (int count : qAsConst(m_counts))
        highest = qMax(highest, count);

    const int slot = area.width() / ratings;
    const int barWidth = qMax(8, slot * 3 / 5);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(area.left(), area.bottom(), area.right(), area.bottom());
    for (int rating = 0; rating < ratings; ++rating) {
        const int count = m_counts.at(rating);
        const int height = int(qint64(area.height()) * count / highest);
        const int left = area.left() + rating * slot + (slot - barWidth) / 2;
        const QRect bar(left, area.bottom() - height, barWidth, height);
        painter.fillRect(bar, ratingColour(rating));
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect countRect(area.left() + rating * slot, bar.top() - textHeight - 2, slot, textHeight);
        painter.drawText(countRect, Qt::AlignCenter, QString::number(count));
        const QRect nameRect(area.left() + rating * slot, area.bottom() + 4, slot, textHeight);
        painter.drawText(nameRect, Qt::AlignCenter, metrics.elidedText(ratingName(rating), Qt::ElideRight, slot));
    }
}
