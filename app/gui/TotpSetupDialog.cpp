#include "app/gui/TotpSetupDialog.h"

#include "app/gui/SecretText.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/crypto/BWipe.h"

#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

TotpSetupDialog::TotpSetupDialog(QWidget* parent, const QString& entryName, const QString& username)
    : QDialog(parent)
    , m_entryName(entryName)
    , m_username(username)
    , m_linkEdit(new QLineEdit(this))
    , m_algorithmComboBox(new QComboBox(this))
    , m_digitsSpinBox(new QSpinBox(this))
    , m_periodSpinBox(new QSpinBox(this))
    , m_codeLabel(new QLabel(this))
    , m_buttonBox(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
    , m_timer(new QTimer(this))
{
    setWindowTitle(tr("Set Up TOTP"));
    resize(520, 0);

    auto* intro = new QLabel(tr("Paste the otpauth:// link the service offers (often behind its QR code), or "
                                "type the secret key it shows. The link is kept as a line of the note."),
                             this);
    intro->setWordWrap(true);

    m_linkEdit->setObjectName(QStringLiteral("linkEdit"));
    m_linkEdit->setPlaceholderText(tr("otpauth://totp/... or a Base32 secret"));
    m_linkEdit->setMaxLength(OtpAuthLink::MaxLinkLength);
    m_algorithmComboBox->setObjectName(QStringLiteral("algorithmComboBox"));
    for (TotpCode::Algorithm algorithm : { TotpCode::Sha1, TotpCode::Sha256, TotpCode::Sha512 })
        m_algorithmComboBox->addItem(TotpCode::algorithmName(algorithm), int(algorithm));
    m_digitsSpinBox->setObjectName(QStringLiteral("digitsSpinBox"));
    m_digitsSpinBox->setRange(OtpAuthLink::MinDigits, OtpAuthLink::MaxDigits);
    m_digitsSpinBox->setValue(OtpAuthLink::DefaultDigits);
    m_periodSpinBox->setObjectName(QStringLiteral("periodSpinBox"));
    m_periodSpinBox->setRange(1, OtpAuthLink::MaxPeriod);
    m_periodSpinBox->setValue(OtpAuthLink::DefaultPeriod);
    m_periodSpinBox->setSuffix(tr(" seconds"));
    m_codeLabel->setObjectName(QStringLiteral("codeLabel"));
    m_codeLabel->setWordWrap(true);
    m_codeLabel->setTextFormat(Qt::PlainText);
    m_codeLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* form = new QFormLayout();
    form->addRow(tr("Link or secret:"), m_linkEdit);
    form->addRow(tr("Algorithm:"), m_algorithmComboBox);
    form->addRow(tr("Digits:"), m_digitsSpinBox);
    form->addRow(tr("Period:"), m_periodSpinBox);
    form->addRow(tr("Code:"), m_codeLabel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addStretch();
    layout->addWidget(m_buttonBox);

    connect(m_buttonBox, &QDialogButtonBox::accepted, this, &TotpSetupDialog::accept);
    connect(m_buttonBox, &QDialogButtonBox::rejected, this, &TotpSetupDialog::reject);
    connect(m_linkEdit, &QLineEdit::textChanged, this, &TotpSetupDialog::refresh);
    connect(m_algorithmComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this, &TotpSetupDialog::refresh);
    connect(m_digitsSpinBox, qOverload<int>(&QSpinBox::valueChanged), this, &TotpSetupDialog::refresh);
    connect(m_periodSpinBox, qOverload<int>(&QSpinBox::valueChanged), this, &TotpSetupDialog::refresh);
    // The code shown counts down with the clock.
    connect(m_timer, &QTimer::timeout, this, &TotpSetupDialog::refresh);
    m_timer->start(1000);

    refresh();
    fixDialogHeight(this);
    centreOnParent(this);
}

TotpSetupDialog::~TotpSetupDialog()
{
    QString text = takeSecretText(m_linkEdit);
    wipe(text);
}

void TotpSetupDialog::setText(const QString& linkOrSecret)
{
    m_linkEdit->setText(linkOrSecret);
}

QString TotpSetupDialog::link() const
{
    return m_valid ? m_link.toString() : QString();
}

void TotpSetupDialog::refresh()
{
    QString text = m_linkEdit->text();
    const bool isLink = text.trimmed().startsWith(QLatin1String("otpauth:"), Qt::CaseInsensitive);
    // A link carries its own settings; they are shown, not chosen.
    for (QWidget* setting : { static_cast<QWidget*>(m_algorithmComboBox), static_cast<QWidget*>(m_digitsSpinBox),
                              static_cast<QWidget*>(m_periodSpinBox) })
        setting->setEnabled(!isLink);

    OtpAuthLink link;
    QString error;
    if (text.trimmed().isEmpty()) {
        m_valid = false;
        error = tr("Enter a link or a secret.");
    } else if (isLink) {
        m_valid = link.parse(text, &error);
    } else {
        link.setAlgorithm(TotpCode::Algorithm(m_algorithmComboBox->currentData().toInt()));
        link.setDigits(m_digitsSpinBox->value());
        link.setPeriod(m_periodSpinBox->value());
        link.setIssuer(m_entryName);
        link.setLabel(m_username.isEmpty() ? m_entryName : m_entryName + QLatin1Char(':') + m_username);
        m_valid = link.setSecretText(text, &error);
    }
    wipe(text);

    if (m_valid) {
        m_link = link;
        if (isLink) {
            const QSignalBlocker algorithmBlocker(m_algorithmComboBox);
            const QSignalBlocker digitsBlocker(m_digitsSpinBox);
            const QSignalBlocker periodBlocker(m_periodSpinBox);
            m_algorithmComboBox->setCurrentIndex(m_algorithmComboBox->findData(int(link.algorithm())));
            m_digitsSpinBox->setValue(link.digits());
            m_periodSpinBox->setValue(link.period());
        }
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        QString code = link.code(now);
        m_codeLabel->setText(tr("%1 (%2 s left)").arg(code).arg(link.secondsLeft(now)));
        wipe(code);
    } else {
        m_link = OtpAuthLink();
        m_codeLabel->setText(error);
    }
    m_buttonBox->button(QDialogButtonBox::Ok)->setEnabled(m_valid);
}

void TotpSetupDialog::accept()
{
    refresh();
    if (!m_valid)
        return;
    QDialog::accept();
}
