#include "app/gui/DatabaseEditDialog.h"

#include "ui_DatabaseEditDialog.h"

#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/gui/SecretText.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"
#include "blib/app/BSettings.h"
#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BKDFCalibrateTask.h"
#include "blib/crypto/BWipe.h"
#include "blib/password/BPasswordGeneratorDialog.h"
#include "blib/task/BTaskDialog.h"

#include <QCoreApplication>
#include <QFormLayout>

namespace {

const char* const defaultKdfRoundsKey = "app.passwordDatabase.defaultKdfRounds";

// Resource ids of the button icons.
constexpr int showPasswordIcon = 208;  // icon_225
constexpr int generatePasswordIcon = 209; // icon_020
constexpr int calibrateIcon = 218;     // icon_241

// Calibration measures a key of this many bytes: one digest block, like
// the cipher key.
constexpr int calibrationKeyLength = 32;

// Rounds above this many times the calibrated count ask for confirmation.
constexpr qint64 slowRoundsFactor = 5;

} // namespace

DatabaseEditDialog::DatabaseEditDialog(QWidget* parent, bool newDatabase, const QString& title)
    : QDialog(parent)
    , ui(new Ui::DatabaseEditDialog)
    , m_newDatabase(newDatabase)
    , m_title(title)
    , m_passwordFieldsShown(newDatabase)
{
    initResources();
    ui->setupUi(this);

    for (int id : { int(BCipherId::AES_256), int(BCipherId::Twofish_256) })
        ui->cipherComboBox->addItem(cipherName(id), id);
    ui->kdfComboBox->addItem(kdfName(BKdfId::PBKDF2), int(BKdfId::PBKDF2));

    ui->showPasswordButton->setIcon(resourceIcon(showPasswordIcon));
    ui->generatePasswordButton->setIcon(resourceIcon(generatePasswordIcon));
    ui->calibrateKDFRoundsButton->setIcon(resourceIcon(calibrateIcon));

    connect(ui->changePasswordButton, &QAbstractButton::clicked, this,
            &DatabaseEditDialog::changePasswordButtonPressed);
    connect(ui->showPasswordButton, &QAbstractButton::clicked, this,
            &DatabaseEditDialog::showPasswordButtonChecked);
    connect(ui->passwordEdit, &QLineEdit::textChanged, this, &DatabaseEditDialog::passwordTextChanged);
    connect(ui->generatePasswordButton, &QAbstractButton::clicked, this,
            &DatabaseEditDialog::generatePasswordButtonPressed);
    connect(ui->calibrateKDFRoundsButton, &QAbstractButton::clicked, this,
            &DatabaseEditDialog::calibrateKDFRoundsButtonPressed);

    ui->changePasswordButton->setHidden(m_passwordFieldsShown);
    setPasswordRowsVisible(m_passwordFieldsShown);
    fixDialogHeight(this);
    centreOnParent(this);
}

DatabaseEditDialog::~DatabaseEditDialog()
{
    delete ui;
}

void DatabaseEditDialog::loadDatabase(PasswordDatabase* database)
{
    m_database = database;
    if (!database)
        return;

    if (!m_title.isEmpty())
        setWindowTitle(m_title);
    else if (m_newDatabase)
        setWindowTitle(QStringLiteral("New Database"));
    else
        setWindowTitle(QStringLiteral("Database Settings - ") + database->getName());

    ui->nameEdit->setText(database->getName());
    const int cipherIndex = ui->cipherComboBox->findData(database->getCipher());
    if (cipherIndex >= 0)
        ui->cipherComboBox->setCurrentIndex(cipherIndex);
    ui->kdfRoundsSpinBox->setValue(database->getKdfRounds());
    ui->noteEdit->setPlainText(database->getNote());
}

void DatabaseEditDialog::changePasswordButtonPressed()
{
    m_passwordFieldsShown = true;
    ui->changePasswordButton->hide();
    setPasswordRowsVisible(true);
    // The rows just shown have not been laid out yet; their layouts must
    // settle before the preferred height means anything.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    fixDialogHeight(this);
    ui->passwordEdit->setFocus();
}

void DatabaseEditDialog::showPasswordButtonChecked(bool checked)
{
    const QLineEdit::EchoMode mode = checked ? QLineEdit::Normal : QLineEdit::Password;
    ui->passwordEdit->setEchoMode(mode);
    ui->repeatPasswordEdit->setEchoMode(mode);
}

void DatabaseEditDialog::passwordTextChanged(const QString& text)
{
    ui->passwordStrengthWidget->setPasswordSoon(text);
}

void DatabaseEditDialog::generatePasswordButtonPressed()
{
    fillFromPasswordGenerator(this, ui->passwordEdit, ui->repeatPasswordEdit);
}

void DatabaseEditDialog::calibrateKDFRoundsButtonPressed()
{
    int rounds = 0;
    const BTaskResult result = calibrateRounds(selectedKdf(), rounds);
    if (result == Cancelled)
        return;
    // A measurement that ended before its first round is no usable count.
    if (result != Success || rounds < 1) {
        showError(this, tr("Calibration Failed"), tr("Failed to calibrate KFD rounds."));
        return;
    }
    ui->kdfRoundsSpinBox->setValue(rounds);
    setIntSetting(QString::fromLatin1(defaultKdfRoundsKey), rounds);
}

void DatabaseEditDialog::accept()
{
    if (!m_database)
        return;

    const QString name = ui->nameEdit->text();
    if (name.isEmpty()) {
        showError(this, QStringLiteral("Name Required"), QStringLiteral("The database must have a name."));
        ui->nameEdit->setFocus();
        return;
    }

    const int rounds = ui->kdfRoundsSpinBox->value();
    if (m_passwordFieldsShown && rounds != m_database->getKdfRounds()) {
        int calibrated = 0;
        if (calibrateRounds(selectedKdf(), calibrated) == Success && calibrated > 0
            && slowRoundsFactor * calibrated < rounds) {
            if (!askWarning(this, tr("Warning"),
                            tr("When using a high number of KDF rounds, opening the database may take a very "
                               "long time. Are you sure you want to use this number?"),
                            tr("I Understand"), tr("I'll Change It"))) {
                ui->kdfRoundsSpinBox->setFocus();
                return;
            }
        }
    }

    if (!m_passwordFieldsShown
        && (selectedCipher() != m_database->getCipher() || selectedKdf() != m_database->getKdf()
            || rounds != m_database->getKdfRounds())) {
        showInformation(this, QStringLiteral("Password Confirmation Required"),
                        QStringLiteral("Because you've changed the KDF algorithm, KDF rounds or cipher type, "
                                       "you must re-enter the password."));
        changePasswordButtonPressed();
        return;
    }

    if (m_passwordFieldsShown) {
        if (ui->passwordEdit->text() != ui->repeatPasswordEdit->text()) {
            showError(this, QStringLiteral("Passwords Don't Match"),
                      QStringLiteral("The passwords don't match. Try entering them again."));
            ui->repeatPasswordEdit->selectAll();
            ui->repeatPasswordEdit->setFocus();
            return;
        }
        if (ui->passwordEdit->text().isEmpty()) {
            showError(this, QStringLiteral("Password Required"),
                      QStringLiteral("A password is required to protect the database."));
            ui->passwordEdit->setFocus();
            return;
        }
        // The set-password task stores the settings before it derives the
        // keys and fails on zero rounds, which would leave the database
        // without keys: it could then be neither saved nor locked.
        if (rounds < 1) {
            showError(this, tr("Rounds Required"), tr("The key derivation needs at least one round."));
            ui->kdfRoundsSpinBox->setFocus();
            return;
        }
        if (!setPassword())
            return;
    }

    m_database->setName(name);
    m_database->setNote(ui->noteEdit->toPlainText());
    QDialog::accept();
}

BTaskResult DatabaseEditDialog::calibrateRounds(int kdf, int& rounds)
{
    BKDFCalibrateTask task(kdf, m_calibrationDurationMs, calibrationKeyLength);
    const BTaskResult result = BTaskDialog::run(this, &task, false);
    if (result == Success)
        rounds = task.rounds();
    return result;
}

bool DatabaseEditDialog::setPassword()
{
    BTaskResult result;
    {
        QString password = takeSecretText(ui->passwordEdit);
        QString repeated = takeSecretText(ui->repeatPasswordEdit);
        wipe(repeated);
        PasswordDatabaseSetPasswordTask task(*m_database, password, selectedCipher(), selectedKdf(),
                                             ui->kdfRoundsSpinBox->value());
        wipe(password);
        result = BTaskDialog::run(this, &task, false);
    }
    if (result == Failure)
        showError(this, tr("Error"), tr("Failed to set password on database."));
    if (result != Success)
        ui->passwordEdit->setFocus();
    return result == Success;
}

void DatabaseEditDialog::setPasswordRowsVisible(bool visible)
{
    // A hidden row of a form layout still takes its spacing: hidden rows
    // are taken out of the layout and put back when they are shown.
    QFormLayout* form = ui->formLayout;
    const QPair<QWidget*, QWidget*> rows[] = {
        { ui->passwordLabel, ui->passwordWidget },
        { ui->repeatPasswordLabel, ui->repeatPasswordWidget },
        { ui->passwordStrengthLabel, ui->passwordStrengthWidget },
    };
    for (const auto& row : rows) {
        if (!visible && form->indexOf(row.second) >= 0) {
            const QFormLayout::TakeRowResult taken = form->takeRow(row.second);
            delete taken.labelItem;
            delete taken.fieldItem;
        }
        row.first->setVisible(visible);
        row.second->setVisible(visible);
    }
    if (ui->changePasswordButton->isHidden() && form->indexOf(ui->changePasswordButton) >= 0) {
        const QFormLayout::TakeRowResult taken = form->takeRow(ui->changePasswordButton);
        delete taken.fieldItem;
    }
    if (visible) {
        int at = 0;
        QFormLayout::ItemRole role;
        form->getWidgetPosition(ui->cipherComboBox, &at, &role);
        if (form->indexOf(ui->changePasswordButton) >= 0)
            ++at;
        for (const auto& row : rows) {
            ++at;
            if (form->indexOf(row.second) < 0)
                form->insertRow(at, row.first, row.second);
        }
    }
}

int DatabaseEditDialog::selectedCipher() const
{
    return ui->cipherComboBox->currentData().toInt();
}

int DatabaseEditDialog::selectedKdf() const
{
    return ui->kdfComboBox->currentData().toInt();
}
