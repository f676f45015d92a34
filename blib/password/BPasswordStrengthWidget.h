#ifndef BPASSWORDSTRENGTHWIDGET_H
#define BPASSWORDSTRENGTHWIDGET_H

#include <QString>
#include <QWidget>

class QTimer;

namespace Ui {
class PasswordStrengthWidget;
}

// Shows how strong a password is: a bar filled up to 60 bits of entropy,
// the entropy as its text and tool tip, and below it either a warning
// (orange) or the rating's name.
class BPasswordStrengthWidget : public QWidget
{
    Q_OBJECT

public:
    explicit BPasswordStrengthWidget(QWidget* parent = nullptr);
    ~BPasswordStrengthWidget() override;

public slots:
    // Rates `text` at once and shows the result.
    void setPassword(const QString& text);
    // For a field that changes on every keystroke: the rating runs once the
    // pending events are handled, for the latest text only, so typing stays
    // smooth even when rating a long password takes longer than a frame.
    // A later setPassword() supersedes a pending rating.
    void setPasswordSoon(const QString& text);

private slots:
    void ratePendingPassword();

private:
    Ui::PasswordStrengthWidget* ui;
    QTimer* m_timer;
    QString m_pending;
};

#endif // BPASSWORDSTRENGTHWIDGET_H
