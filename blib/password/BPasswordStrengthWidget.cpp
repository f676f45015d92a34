#include "blib/password/BPasswordStrengthWidget.h"

#include "ui_PasswordStrengthWidget.h"

#include "blib/crypto/BWipe.h"
#include "blib/password/BPassword.h"

#include <QTimer>

BPasswordStrengthWidget::BPasswordStrengthWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::PasswordStrengthWidget)
    , m_timer(new QTimer(this))
{
    ui->setupUi(this);
    ui->progressBar->setRange(0, 100);
    m_timer->setSingleShot(true);
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, &BPasswordStrengthWidget::ratePendingPassword);
    setPassword(QString());
}

BPasswordStrengthWidget::~BPasswordStrengthWidget()
{
    wipe(m_pending);
    delete ui;
}

void BPasswordStrengthWidget::setPassword(const QString& text)
{
    m_timer->stop();
    wipe(m_pending);

    double entropy = 0.0;
    int rating = 0;
    double fraction = 0.0;
    QString feedback;
    ratePassword(text, entropy, rating, fraction, feedback);

    ui->progressBar->setValue(int(fraction * 100.0));
    const QString bits = tr("%2 bits of entropy").arg(int(entropy));
    ui->progressBar->setFormat(bits);
    ui->progressBar->setToolTip(bits);

    if (!feedback.isEmpty()) {
        ui->label->setText(feedback);
        ui->label->setStyleSheet(QStringLiteral("QLabel { color: #ee5500; }"));
    } else {
        ui->label->setText(tr("%1 password.").arg(ratingName(rating)));
        ui->label->setStyleSheet(QStringLiteral("QLabel { color: #000; }"));
    }
    wipe(feedback);
}

void BPasswordStrengthWidget::setPasswordSoon(const QString& text)
{
    wipe(m_pending);
    m_pending = text;
    // Keystrokes that arrive while one rating runs are handled before the
    // timer fires, so they all end in one rating of the latest text.
    if (!m_timer->isActive())
        m_timer->start();
}

void BPasswordStrengthWidget::ratePendingPassword()
{
    QString text;
    text.swap(m_pending);
    setPassword(text);
    wipe(text);
}
