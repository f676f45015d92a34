#include "app/gui/DatabaseEditDialog.h"

#include "ui_DatabaseEditDialog.h"

#include "app/database/DatabaseKdfParameters.h"
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
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>

namespace {

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
    ui->kdfComboBox->addItem(tr("Argon2id"), int(BKdfId::Argon2));

    // Argon2's memory and lanes, on a row of their own below the rounds.
    m_argon2Widget = new QWidget(this);
    m_argon2Widget->setObjectName(QStringLiteral("kdfArgon2Widget"));
    auto* argon2Layout = new QHBoxLayout(m_argon2Widget);
    argon2Layout->setContentsMargins(0, 0, 0, 0);
    m_memorySpinBox = new QSpinBox(m_argon2Widget);
    m_memorySpinBox->setObjectName(QStringLiteral("kdfMemorySpinBox"));
    m_memorySpinBox->setRange(1, int(DatabaseKdfParameters::MaxArgon2MemoryKib / 1024));
    m_memorySpinBox->setSuffix(tr(" MiB"));
    m_memorySpinBox->setToolTip(tr("Memory the key derivation fills for every unlock. More memory makes "
                                   "guessing the password on special hardware far more expensive."));
    m_parallelismSpinBox = new QSpinBox(m_argon2Widget);
    m_parallelismSpinBox->setObjectName(QStringLiteral("kdfParallelismSpinBox"));
    m_parallelismSpinBox->setRange(1, DatabaseKdfParameters::MaxArgon2Parallelism);
    m_parallelismSpinBox->setToolTip(tr("Number of lanes (threads) the key derivation runs in."));
    argon2Layout->addWidget(m_memorySpinBox);
    argon2Layout->addWidget(new QLabel(tr("of memory in"), m_argon2Widget));
    argon2Layout->addWidget(m_parallelismSpinBox);
    argon2Layout->addWidget(new QLabel(tr("lanes"), m_argon2Widget));
    argon2Layout->addStretch(1);
    m_argon2Label = new QLabel(tr("Argon2:"), this);
    int kdfRow = 0;
    QFormLayout::ItemRole kdfRole;
    ui->formLayout->getWidgetPosition(ui->kdfWidget, &kdfRow, &kdfRole);
    ui->formLayout->insertRow(kdfRow + 1, m_argon2Label, m_argon2Widget);

    // The file format version, with the upgrade for earlier versions.
    auto* formatWidget = new QWidget(this);
    auto* formatLayout = new QHBoxLayout(formatWidget);
    formatLayout->setContentsMargins(0, 0, 0, 0);
    m_formatLabel = new QLabel(formatWidget);
    m_formatLabel->setObjectName(QStringLiteral("formatVersionLabel"));
    m_formatLabel->setWordWrap(true);
    m_upgradeButton = new QPushButton(tr("Upgrade to Version 4..."), formatWidget);
    m_upgradeButton->setObjectName(QStringLiteral("upgradeFormatButton"));
    formatLayout->addWidget(m_formatLabel, 1);
    formatLayout->addWidget(m_upgradeButton);
    ui->formLayout->insertRow(kdfRow + 2, tr("Format:"), formatWidget);
    connect(m_upgradeButton, &QAbstractButton::clicked, this, &DatabaseEditDialog::upgradeFormatButtonPressed);
    connect(ui->kdfComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &DatabaseEditDialog::kdfChanged);

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
    if (m_newDatabase)
        showKdfParameters(DatabaseKdfParameters::defaults());
    else
        showKdfParameters(database->getKdfParameters());
    ui->noteEdit->setPlainText(database->getNote());
    refreshFormatRow();
}

void DatabaseEditDialog::showKdfParameters(const DatabaseKdfParameters& parameters)
{
    const int index = ui->kdfComboBox->findData(parameters.kdf);
    if (index >= 0)
        ui->kdfComboBox->setCurrentIndex(index);
    ui->kdfRoundsSpinBox->setValue(parameters.rounds);
    m_shownKdf = parameters;
    m_memorySpinBox->setValue(
        (parameters.isArgon2() ? parameters.memoryKib : DatabaseKdfParameters::DefaultArgon2MemoryKib) / 1024);
    m_parallelismSpinBox->setValue(parameters.isArgon2() ? parameters.parallelism
                                                         : DatabaseKdfParameters::DefaultArgon2Parallelism);
    kdfChanged();
}

DatabaseKdfParameters DatabaseEditDialog::selectedKdfParameters() const
{
    if (selectedKdf() == BKdfId::Argon2)
        return DatabaseKdfParameters::argon2(ui->kdfRoundsSpinBox->value(), m_memorySpinBox->value() * 1024,
                                             m_parallelismSpinBox->value());
    return DatabaseKdfParameters(selectedKdf(), ui->kdfRoundsSpinBox->value());
}

void DatabaseEditDialog::kdfChanged()
{
    const bool argon2 = selectedKdf() == BKdfId::Argon2;
    ui->kdfRoundsOfLabel->setText(argon2 ? tr("passes of") : tr("rounds of"));
    m_argon2Label->setVisible(argon2);
    m_argon2Widget->setVisible(argon2);
    ui->calibrateKDFRoundsButton->setToolTip(
        argon2 ? tr("Calibrate the number of passes based on one second of processing time on this computer.")
               : tr("Calibrate the number of rounds based on one second of processing time on this computer."));
}

void DatabaseEditDialog::refreshFormatRow()
{
    const bool legacy = m_database && !m_newDatabase && m_database->isLegacyFormat() && !m_upgrading;
    // A vault of an earlier version cannot use Argon2 until it is upgraded.
    if (auto* model = qobject_cast<QStandardItemModel*>(ui->kdfComboBox->model())) {
        if (QStandardItem* argon2 = model->item(ui->kdfComboBox->findData(int(BKdfId::Argon2))))
            argon2->setEnabled(!legacy);
    }
    m_upgradeButton->setVisible(legacy);
    // The version read from the file (1 to 3), or the one it will be saved as.
    const int version = !m_database ? 4
        : m_database->getFormatVersion() > 0 ? m_database->getFormatVersion()
                                             : m_database->getFileFormatVersion();
    if (m_upgrading)
        m_formatLabel->setText(tr("Version %1, upgraded to version 4 when you press OK").arg(version));
    else if (legacy)
        m_formatLabel->setText(tr("Version %1: a password guess costs far less work here than the key "
                                  "derivation settings suggest")
                                   .arg(version));
    else
        m_formatLabel->setText(tr("Version 4"));
}

void DatabaseEditDialog::upgradeFormatButtonPressed()
{
    if (!m_database || m_newDatabase || !m_database->isLegacyFormat())
        return;
    m_upgrading = true;
    refreshFormatRow();
    showKdfParameters(DatabaseKdfParameters::defaults());
    if (!m_passwordFieldsShown)
        changePasswordButtonPressed();
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
    if (!selectedKdfParameters().problem().isEmpty() && selectedKdf() == BKdfId::Argon2) {
        showError(this, tr("Calibration Failed"), selectedKdfParameters().problem());
        return;
    }
    const BTaskResult result = calibrateRounds(selectedKdf(), rounds);
    if (result == Cancelled)
        return;
    // A measurement that ended before its first round is no usable count.
    if (result != Success || rounds < 1) {
        showError(this, tr("Calibration Failed"), tr("Failed to calibrate KFD rounds."));
        return;
    }
    ui->kdfRoundsSpinBox->setValue(rounds);
    // The default for new vaults with the same settings.
    if (selectedKdf() == BKdfId::Argon2) {
        const DatabaseKdfParameters defaults = DatabaseKdfParameters::defaults();
        if (m_memorySpinBox->value() * 1024 == defaults.memoryKib
            && m_parallelismSpinBox->value() == defaults.parallelism)
            DatabaseKdfParameters::storeDefaultArgon2Passes(rounds);
    } else {
        DatabaseKdfParameters::storeDefaultPbkdf2Rounds(rounds);
    }
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

    const DatabaseKdfParameters chosen = selectedKdfParameters();
    const DatabaseKdfParameters current = m_database->getKdfParameters();
    // The first vault made with Argon2's default passes measures what they
    // should be on this computer, once.
    if ((m_newDatabase || m_upgrading) && chosen.isArgon2() && !DatabaseKdfParameters::argon2DefaultCalibrated()
        && chosen.rounds == DatabaseKdfParameters::defaults().rounds
        && chosen.memoryKib == DatabaseKdfParameters::defaults().memoryKib
        && chosen.parallelism == DatabaseKdfParameters::defaults().parallelism) {
        int passes = 0;
        if (calibrateRounds(BKdfId::Argon2, passes) == Success && passes > 0) {
            DatabaseKdfParameters::storeDefaultArgon2Passes(passes);
            ui->kdfRoundsSpinBox->setValue(passes);
            m_shownKdf.rounds = passes;
        }
    }
    const int rounds = ui->kdfRoundsSpinBox->value();
    const QString problem = selectedKdfParameters().problem();
    if (!problem.isEmpty() && rounds >= 1) {
        showError(this, tr("Key Derivation Settings"), problem);
        ui->kdfRoundsSpinBox->setFocus();
        return;
    }
    const bool kdfChangedHere = chosen.kdf != current.kdf || rounds != current.rounds
        || (chosen.isArgon2()
            && (chosen.memoryKib != current.memoryKib || chosen.parallelism != current.parallelism));
    if (m_passwordFieldsShown && (rounds != m_shownKdf.rounds || chosen.kdf != m_shownKdf.kdf)) {
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
        && (selectedCipher() != m_database->getCipher() || kdfChangedHere)) {
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
    task.setArgon2Parameters(m_memorySpinBox->value() * 1024, m_parallelismSpinBox->value());
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
        PasswordDatabaseSetPasswordTask task(*m_database, password, selectedCipher(), selectedKdfParameters(),
                                             m_upgrading ? 4 : 0);
        wipe(password);
        result = BTaskDialog::run(this, &task, false);
    }
    if (result == Failure)
        showError(this, tr("Error"), tr("Failed to set password on database."));
    if (result == Success && m_upgrading) {
        m_upgrading = false;
        refreshFormatRow();
    }
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
