#ifndef STRENGTHCHARTWIDGET_H
#define STRENGTHCHARTWIDGET_H

#include <QList>
#include <QWidget>

// A bar chart of how many passwords fall into each strength rating, from
// "Very weak" on the left to "Excellent" on the right, drawn with QPainter.
class StrengthChartWidget : public QWidget
{
    Q_OBJECT

public:
    explicit StrengthChartWidget(QWidget* parent = nullptr);

    // One count per rating, 0 to 4.
    void setCounts(const QList<int>& counts);
    QList<int> counts() const { return m_counts; }

    QSize sizeHint() const override { return QSize(420, 160); }
    QSize minimumSizeHint() const override { return QSize(260, 120); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<int> m_counts;
};

#endif // STRENGTHCHARTWIDGET_H
