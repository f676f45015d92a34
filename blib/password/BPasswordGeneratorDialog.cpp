#include "blib/password/BPasswordGeneratorDialog.h"

#include "ui_PasswordGeneratorDialog.h"

#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"
#include "blib/app/BSettings.h"
#include "blib/crypto/BWipe.h"
#include "blib/password/BOptionSetWidget.h"
#include "blib/password/BPasswordGenerator.h"

#include <QFontDatabase>

namespace {

const char* const showPasswordKey = "blib.passwordGeneratorDialog.showPassword";
constexpr int showPasswordIcon = 208;
constexpr int regenerateIcon = 209;

} // namespace

BPasswordGeneratorDialog::BPasswordGeneratorDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::PasswordGeneratorDialog)
{
    initResources();
    ui->setupUi(this);
    centreOnParent(this);
    // Generated passwords mix look-alike characters (l, I, 1, O, 0): a
    // fixed-width font keeps them apart when the password is shown.
    ui->passwordLineEdit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    for (BPasswordGenerator* generator : passwordGenerators()) {
        auto* page = new BOptionSetWidget;
        page->setOptionSet(generator->options());
        ui->tabWidget->addTab(page, generator->name());
        m_tabs.append(qMakePair(static_cast<QWidget*>(page), generator));
        // The password shown always follows the options shown: OK must never
        // hand back one made under options since changed.
        connect(page, &BOptionSetWidget::optionChanged, this, [this, page]() {
            if (ui->tabWidget->currentWidget() == page)
                regenerate();
        });
    }

    ui->showPasswordButton->setIcon(resourceIcon(showPasswordIcon));
    ui->regeneratePasswordButton->setIcon(resourceIcon(regenerateIcon));

    connect(ui->tabWidget, &QTabWidget::currentChanged, this, &BPasswordGeneratorDialog::currentTabChanged);
    connect(ui->showPasswordButton, &QAbstractButton::clicked, this,
            &BPasswordGeneratorDialog::showPasswordButtonChecked);
    connect(ui->regeneratePasswordButton, &QAbstractButton::clicked, this,
            &BPasswordGeneratorDialog::regeneratePasswordButtonPressed);
    connect(ui->passwordLineEdit, &QLineEdit::textChanged, this, &BPasswordGeneratorDialog::passwordTextChanged);

    regenerate();

    const bool show = boolSetting(QLatin1String(showPasswordKey), false);
    ui->showPasswordButton->setChecked(show);
    ui->passwordLineEdit->setEchoMode(show ? QLineEdit::Normal : QLineEdit::Password);
    setBoolSetting(QLatin1String(showPasswordKey), show);
}

BPasswordGeneratorDialog::~BPasswordGeneratorDialog()
{
    wipe(m_password);
    delete ui;
}

BPasswordGenerator* BPasswordGeneratorDialog::getCurrentPasswordGenerator()
{
    const int index = ui->tabWidget->currentIndex();
    if (index < 0 || index >= m_tabs.size())
        return nullptr;
    return m_tabs.at(index).second;
}

void BPasswordGeneratorDialog::currentTabChanged(int)
{
    regenerate();
}

void BPasswordGeneratorDialog::showPasswordButtonChecked(bool checked)
{
    ui->passwordLineEdit->setEchoMode(checked ? QLineEdit::Normal : QLineEdit::Password);
    setBoolSetting(QLatin1String(showPasswordKey), checked);
}

void BPasswordGeneratorDialog::regeneratePasswordButtonPressed()
{
    regenerate();
}

void BPasswordGeneratorDialog::passwordTextChanged(const QString& text)
{
    ui->passwordStrengthWidget->setPasswordSoon(text);
}

void BPasswordGeneratorDialog::regenerate()
{
    BPasswordGenerator* generator = getCurrentPasswordGenerator();
    if (!generator)
        return;
    wipe(m_password);
    m_password = generator->generatePassword();
    ui->passwordLineEdit->setText(m_password);
    ui->passwordStrengthWidget->setPassword(m_password);
}
